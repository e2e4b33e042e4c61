#include <gtest/gtest.h>
#include <httplib.h>
#include <zlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/FileUtil.h"
#include "base/HttpEngine.h"
#include "base/ThreadPool.h"
#include "support/RawServer.h"
#include "support/TestEnv.h"

namespace mr {
namespace {

// A real HTTP server on loopback.
class LoopbackServer {
 public:
  LoopbackServer() {
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running())
      std::this_thread::yield();
  }
  ~LoopbackServer() {
    server_.stop();
    thread_.join();
  }
  httplib::Server& operator*() { return server_; }
  httplib::Server* operator->() { return &server_; }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

// A gzip stream of `size` zero bytes: a thousandth of its unpacked size.
std::string gzipOfZeros(size_t size) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY), Z_OK);
  std::vector<unsigned char> zeros(1 << 20, 0);
  std::string packed;
  unsigned char out[1 << 16];
  size_t left = size;
  int flush = Z_NO_FLUSH;
  do {
    if (stream.avail_in == 0 && flush == Z_NO_FLUSH) {
      const size_t chunk = std::min(left, zeros.size());
      stream.next_in = zeros.data();
      stream.avail_in = static_cast<uInt>(chunk);
      left -= chunk;
      if (left == 0) flush = Z_FINISH;
    }
    stream.next_out = out;
    stream.avail_out = sizeof out;
    const int status = deflate(&stream, flush);
    packed.append(reinterpret_cast<char*>(out), sizeof out - stream.avail_out);
    if (status == Z_STREAM_END) break;
  } while (true);
  deflateEnd(&stream);
  return packed;
}

// Records the callbacks of one request.
struct Outcome {
  std::mutex mutex;
  std::condition_variable cv;
  int completions = 0;
  int errors = 0;
  std::vector<HttpResponse> responses;
  std::optional<Error> error;

  HttpCallbacks callbacks() {
    HttpCallbacks hooks;
    hooks.onCompletion = [this](HttpOperation&, const HttpResponse& response) {
      std::lock_guard guard(mutex);
      ++completions;
      responses.push_back(response);
      cv.notify_all();
    };
    hooks.onError = [this](HttpOperation&, const Error& problem) {
      std::lock_guard guard(mutex);
      ++errors;
      error = problem;
      cv.notify_all();
    };
    return hooks;
  }
};

struct HttpEngineFixture : ::testing::Test {
  test::TestEnv testEnv;
  LoopbackServer server;
  std::unique_ptr<HttpEngine> engine = makeEngine({});

  std::unique_ptr<HttpEngine> makeEngine(HttpEngine::Options options, Clock* clock = nullptr) {
    options.languages = {"ja", "en-US"};
    return std::make_unique<HttpEngine>(clock != nullptr ? *clock : Clock::real(),
                                        testEnv.reachability(), options);
  }

  HttpEngine::Options cacheOptions() {
    HttpEngine::Options options;
    options.cacheDir = testEnv.dir().file("cache");
    return options;
  }

  // Runs one request to its end and returns what came back.
  std::shared_ptr<HttpOperation> run(HttpEngine& with, HttpRequest request, Outcome& outcome) {
    auto operation = with.enqueue(std::move(request), outcome.callbacks());
    EXPECT_TRUE(operation->waitUntilFinished(
        Clock::real(), Clock::real().deadlineAfter(std::chrono::seconds(20))));
    return operation;
  }
};

TEST_F(HttpEngineFixture, GetsWithTheProgramsHeaders) {
  server->Get("/hello", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content(request.get_header_value("User-Agent") + "|" +
                             request.get_header_value("Accept-Language") + "|" +
                             request.get_param_value("q"),
                         "text/plain");
  });
  Outcome outcome;
  HttpRequest request;
  request.url = server.url("/hello?q=a%20b");
  run(*engine, request, outcome);
  ASSERT_EQ(outcome.completions, 1);
  EXPECT_EQ(outcome.errors, 0);
  EXPECT_EQ(outcome.responses[0].status, 200);
  EXPECT_EQ(outcome.responses[0].bodyText(),
            std::string("Mirelune/") + MIRELUNE_VERSION + "|ja, en-US, en-us|a b");
  EXPECT_EQ(outcome.responses[0].header("content-type"), "text/plain");
}

TEST_F(HttpEngineFixture, PostsFormsAndMultipartBodies) {
  server->Post("/form", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content(request.get_param_value("name") + "|" + request.get_param_value("amp"),
                         "text/plain");
  });
  server->Post("/upload", [](const httplib::Request& request, httplib::Response& response) {
    const auto field = request.get_file_value("field");
    const auto file = request.get_file_value("tracks");
    response.set_content(
        field.content + "|" + file.filename + "|" + file.content_type + "|" + file.content,
        "text/plain");
  });
  Outcome form;
  HttpRequest request;
  request.method = "POST";
  request.url = server.url("/form");
  request.fields = {{"name", "Sigur Rós + 日本"}, {"amp", "a&b=c"}};
  run(*engine, request, form);
  ASSERT_EQ(form.completions, 1);
  EXPECT_EQ(form.responses[0].bodyText(), "Sigur Rós + 日本|a&b=c");

  Outcome upload;
  request.url = server.url("/upload");
  request.fields = {{"field", "value"}};
  request.parts = {HttpPart{"tracks", "tracks", "text/plain", Bytes{'l', 'i', 'n', 'e', '\n'}}};
  run(*engine, request, upload);
  ASSERT_EQ(upload.completions, 1);
  EXPECT_EQ(upload.responses[0].bodyText(), "value|tracks|text/plain|line\n");
}

TEST_F(HttpEngineFixture, FailedStatusesAreErrorsWithTheStatusAsCode) {
  server->Get("/missing",
              [](const httplib::Request&, httplib::Response& response) { response.status = 404; });
  server->Get("/broken", [](const httplib::Request&, httplib::Response& response) {
    response.status = 500;
    response.set_content("oops", "text/plain");
  });
  for (const auto& [path, code] :
       std::vector<std::pair<std::string, int>>{{"/missing", 404}, {"/broken", 500}}) {
    Outcome outcome;
    HttpRequest request;
    request.url = server.url(path);
    run(*engine, request, outcome);
    EXPECT_EQ(outcome.completions, 0);
    ASSERT_EQ(outcome.errors, 1);
    EXPECT_EQ(outcome.error->domain(), kHttpErrorDomain);
    EXPECT_EQ(outcome.error->code(), code);
  }
}

TEST_F(HttpEngineFixture, RedirectsAreFollowed) {
  server->Get("/old", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/new");
  });
  server->Get("/new", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("moved", "text/plain");
  });
  Outcome outcome;
  HttpRequest request;
  request.url = server.url("/old");
  run(*engine, request, outcome);
  ASSERT_EQ(outcome.completions, 1);
  EXPECT_EQ(outcome.responses[0].bodyText(), "moved");
  EXPECT_EQ(outcome.responses[0].effectiveUrl, server.url("/new"));
}

TEST_F(HttpEngineFixture, TransportFailuresEndInOneErrorEach) {
  test::RawServer cutShort("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nonly ten b");
  Outcome cut;
  HttpRequest request;
  request.url = cutShort.url("/");
  run(*engine, request, cut);
  ASSERT_EQ(cut.errors, 1);
  EXPECT_EQ(cut.completions, 0);
  EXPECT_EQ(cut.error->code(), kHttpErrorConnectionLost);

  int closedPort = 0;
  {
    test::RawServer gone("");
    closedPort = gone.port();
  }
  Outcome refused;
  request.url = "http://127.0.0.1:" + std::to_string(closedPort) + "/";
  run(*engine, request, refused);
  ASSERT_EQ(refused.errors, 1);
  EXPECT_EQ(refused.error->code(), kHttpErrorCannotConnectToHost);

  Outcome badScheme;
  request.url = "ftp://127.0.0.1/file";
  run(*engine, request, badScheme);
  ASSERT_EQ(badScheme.errors, 1);
  EXPECT_EQ(badScheme.error->code(), kHttpErrorUnsupportedURL);
}

TEST_F(HttpEngineFixture, AServerThatNeverAnswersTimesOutOnTheEnginesClock) {
  test::RawServer silent("", true);
  FakeClock clock;
  auto timed = makeEngine({}, &clock);
  Outcome outcome;
  HttpRequest request;
  request.url = silent.url("/");
  request.timeout = std::chrono::seconds(30);
  auto operation = timed->enqueue(request, outcome.callbacks());
  while (silent.connections() == 0)
    std::this_thread::yield();
  clock.advance(std::chrono::seconds(29));
  EXPECT_FALSE(operation->waitUntilFinished(
      Clock::real(), Clock::real().deadlineAfter(std::chrono::milliseconds(200))));
  clock.advance(std::chrono::seconds(1));
  ASSERT_TRUE(operation->waitUntilFinished(Clock::real(),
                                           Clock::real().deadlineAfter(std::chrono::seconds(20))));
  EXPECT_EQ(outcome.errors, 1);
  EXPECT_EQ(outcome.error->code(), kHttpErrorTimedOut);
}

TEST_F(HttpEngineFixture, CancelEndsTheRequestWithOneError) {
  test::RawServer silent("", true);
  Outcome outcome;
  HttpRequest request;
  request.url = silent.url("/");
  auto operation = engine->enqueue(request, outcome.callbacks());
  while (silent.connections() == 0)
    std::this_thread::yield();
  operation->cancel();
  operation->cancel();
  ASSERT_TRUE(operation->waitUntilFinished(Clock::real(),
                                           Clock::real().deadlineAfter(std::chrono::seconds(20))));
  EXPECT_EQ(outcome.errors, 1);
  EXPECT_EQ(outcome.completions, 0);
  EXPECT_EQ(outcome.error->code(), kHttpErrorCancelled);
  EXPECT_TRUE(operation->isCancelled());
}

TEST_F(HttpEngineFixture, DestroyingTheEngineEndsWhatIsInFlight) {
  test::RawServer silent("", true);
  Outcome outcome;
  HttpRequest request;
  request.url = silent.url("/");
  auto operation = engine->enqueue(request, outcome.callbacks());
  engine.reset();
  EXPECT_TRUE(operation->isFinished());
  EXPECT_EQ(outcome.errors, 1);
}

TEST_F(HttpEngineFixture, DownloadsStreamIntoAFileAndLeaveNothingOnFailure) {
  server->Get("/audio", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(std::string(300000, 'a'), "audio/mp4");
  });
  server->Get("/gone",
              [](const httplib::Request&, httplib::Response& response) { response.status = 410; });
  const std::string target = testEnv.dir().file("preview.m4a");
  std::vector<double> progress;
  Outcome outcome;
  HttpRequest request;
  request.url = server.url("/audio");
  request.downloadPath = target;
  auto hooks = outcome.callbacks();
  std::mutex progressMutex;
  hooks.onDownloadProgress = [&](double fraction) {
    std::lock_guard guard(progressMutex);
    progress.push_back(fraction);
  };
  auto operation = engine->enqueue(request, hooks);
  ASSERT_TRUE(operation->waitUntilFinished(Clock::real(),
                                           Clock::real().deadlineAfter(std::chrono::seconds(20))));
  ASSERT_EQ(outcome.completions, 1);
  EXPECT_TRUE(outcome.responses[0].body.empty());
  EXPECT_EQ(std::filesystem::file_size(target), 300000u);
  EXPECT_FALSE(std::filesystem::exists(target + ".part"));
  ASSERT_FALSE(progress.empty());
  EXPECT_DOUBLE_EQ(progress.back(), 1.0);

  Outcome failed;
  request.url = server.url("/gone");
  request.downloadPath = testEnv.dir().file("gone.m4a");
  run(*engine, request, failed);
  EXPECT_EQ(failed.errors, 1);
  EXPECT_FALSE(std::filesystem::exists(testEnv.dir().file("gone.m4a")));
  EXPECT_FALSE(std::filesystem::exists(testEnv.dir().file("gone.m4a.part")));
}

TEST_F(HttpEngineFixture, ADownloadCutShortKeepsItsPartOnlyWhenAsked) {
  test::RawServer cutShort("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nonly ten b");
  server->Get("/gone", [](const httplib::Request&, httplib::Response& response) {
    response.status = 410;
    response.set_content("not here", "text/plain");
  });
  const std::string target = testEnv.dir().file("cut.m4a");
  HttpRequest request;
  request.url = cutShort.url("/");
  request.downloadPath = target;
  request.keepPartialDownload = true;
  Outcome kept;
  run(*engine, request, kept);
  ASSERT_EQ(kept.errors, 1);
  EXPECT_EQ(kept.error->code(), kHttpErrorConnectionLost);
  EXPECT_FALSE(std::filesystem::exists(target));
  ASSERT_TRUE(std::filesystem::exists(target + ".part"));
  EXPECT_EQ(std::filesystem::file_size(target + ".part"), 10u);

  Outcome refused;  // a refusal's page is never taken for part of the file
  request.url = server.url("/gone");
  run(*engine, request, refused);
  EXPECT_EQ(refused.errors, 1);
  EXPECT_FALSE(std::filesystem::exists(target + ".part"));

  Outcome dropped;
  request.url = cutShort.url("/");
  request.keepPartialDownload = false;
  run(*engine, request, dropped);
  EXPECT_EQ(dropped.errors, 1);
  EXPECT_FALSE(std::filesystem::exists(target + ".part"));
}

TEST_F(HttpEngineFixture, AnswersAreCappedOnceDecompressed) {
  // 64 MB of zeros in 64 kB: only the unpacked size
  // is over the limit.
  const std::string bomb = gzipOfZeros(size_t{64} << 20);
  ASSERT_LT(bomb.size(), kHttpDefaultMaxBodyBytes);
  test::RawServer packed(
      "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Encoding: gzip\r\n"
      "Content-Length: " +
      std::to_string(bomb.size()) + "\r\n\r\n" + bomb);
  Outcome unpacked;
  HttpRequest request;
  request.url = packed.url("/");
  auto operation = run(*engine, request, unpacked);
  EXPECT_EQ(unpacked.completions, 0);
  ASSERT_EQ(unpacked.errors, 1);
  EXPECT_EQ(unpacked.error->domain(), kHttpErrorDomain);
  EXPECT_EQ(unpacked.error->code(), kHttpErrorResponseTooLarge);
  EXPECT_TRUE(operation->response().body.empty());
  EXPECT_FALSE(isTemporaryHttpFailure(*unpacked.error));

  // A plain body just over the limit fails the same way.
  server->Get("/huge", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(std::string(kHttpDefaultMaxBodyBytes + 1, 'x'), "text/plain");
  });
  Outcome huge;
  request.url = server.url("/huge");
  run(*engine, request, huge);
  ASSERT_EQ(huge.errors, 1);
  EXPECT_EQ(huge.error->code(), kHttpErrorResponseTooLarge);

  // A request's own limit: up to it is an answer, one byte more is not.
  server->Get("/sized", [](const httplib::Request& asked, httplib::Response& response) {
    response.set_content(std::string(std::stoul(asked.get_param_value("n")), 'y'), "text/plain");
  });
  request.maxBodyBytes = 1000;
  Outcome atLimit, overLimit;
  request.url = server.url("/sized?n=1000");
  run(*engine, request, atLimit);
  ASSERT_EQ(atLimit.completions, 1);
  EXPECT_EQ(atLimit.responses[0].body.size(), 1000u);
  request.url = server.url("/sized?n=1001");
  run(*engine, request, overLimit);
  ASSERT_EQ(overLimit.errors, 1);
  EXPECT_EQ(overLimit.error->code(), kHttpErrorResponseTooLarge);

  // A download goes to disk: the memory limit does not bound it, its own does.
  request.url = server.url("/sized?n=300000");
  request.downloadPath = testEnv.dir().file("large.bin");
  Outcome download;
  run(*engine, request, download);
  ASSERT_EQ(download.completions, 1);
  EXPECT_EQ(std::filesystem::file_size(*request.downloadPath), 300000u);
  request.downloadPath = testEnv.dir().file("bounded.bin");
  request.maxDownloadBytes = 100000;
  Outcome bounded;
  run(*engine, request, bounded);
  ASSERT_EQ(bounded.errors, 1);
  EXPECT_EQ(bounded.error->code(), kHttpErrorResponseTooLarge);
  EXPECT_FALSE(std::filesystem::exists(*request.downloadPath));
  EXPECT_FALSE(std::filesystem::exists(*request.downloadPath + ".part"));
}

TEST_F(HttpEngineFixture, TemporaryFailuresAreToldFromLastingOnes) {
  server->Get("/status", [](const httplib::Request& asked, httplib::Response& response) {
    response.status = std::stoi(asked.get_param_value("code"));
  });
  const auto failure = [&](const std::string& url) {
    Outcome outcome;
    HttpRequest request;
    request.url = url;
    run(*engine, request, outcome);
    EXPECT_EQ(outcome.errors, 1) << url;
    return outcome.error.value_or(Error());
  };
  EXPECT_TRUE(isTemporaryHttpFailure(failure(server.url("/status?code=503"))));
  EXPECT_TRUE(isTemporaryHttpFailure(failure(server.url("/status?code=500"))));
  EXPECT_TRUE(isTemporaryHttpFailure(failure(server.url("/status?code=429"))));
  EXPECT_FALSE(isTemporaryHttpFailure(failure(server.url("/status?code=404"))));
  EXPECT_FALSE(isTemporaryHttpFailure(failure(server.url("/status?code=403"))));
  test::RawServer cutShort("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nonly ten b");
  EXPECT_TRUE(isTemporaryHttpFailure(failure(cutShort.url("/"))));
  int closedPort = 0;
  {
    test::RawServer gone("");
    closedPort = gone.port();
  }
  EXPECT_TRUE(isTemporaryHttpFailure(failure("http://127.0.0.1:" + std::to_string(closedPort))));
  EXPECT_FALSE(isTemporaryHttpFailure(failure("ftp://127.0.0.1/file")));
  EXPECT_TRUE(isTemporaryHttpFailure(Error(kHttpErrorDomain, kHttpErrorTimedOut, "slow")));
  // The same numbers in another domain are not the transport's.
  EXPECT_FALSE(isTemporaryHttpFailure(Error("last.fm", 503, "")));
}

TEST_F(HttpEngineFixture, AForgottenAnswerIsFetchedAgain) {
  std::atomic<int> hits{0};
  server->Get("/page", [&](const httplib::Request&, httplib::Response& response) {
    ++hits;
    response.set_header("Cache-Control", "max-age=600");
    response.set_content("<html>proxy says hello</html>", "text/html");
  });
  auto cached = makeEngine(cacheOptions());
  HttpRequest request;
  request.useCache = true;
  request.url = server.url("/page");
  Outcome first, second, third;
  run(*cached, request, first);
  run(*cached, request, second);
  EXPECT_EQ(hits, 1);
  cached->forgetCachedResponse(request);
  run(*cached, request, third);
  EXPECT_EQ(hits, 2);
  ASSERT_EQ(third.completions, 1);
  EXPECT_FALSE(third.responses[0].isCachedResponse);
  // Gone from the disk too.
  cached->forgetCachedResponse(request);
  cached.reset();
  auto later = makeEngine(cacheOptions());
  Outcome fourth;
  run(*later, request, fourth);
  EXPECT_EQ(hits, 3);
}

TEST_F(HttpEngineFixture, TheCacheServesFreshCopiesAndRevalidatesStaleOnes) {
  std::atomic<int> hits{0};
  std::atomic<int> notModified{0};
  server->Get("/fresh", [&](const httplib::Request&, httplib::Response& response) {
    ++hits;
    response.set_header("Cache-Control", "max-age=600");
    response.set_content("fresh body", "text/plain");
  });
  server->Get("/stale", [&](const httplib::Request& request, httplib::Response& response) {
    ++hits;
    if (request.get_header_value("If-None-Match") == "\"v1\"") {
      ++notModified;
      response.status = 304;
      return;
    }
    response.set_header("ETag", "\"v1\"");
    response.set_content("stale body", "text/plain");
  });
  auto cached = makeEngine(cacheOptions());
  HttpRequest request;
  request.useCache = true;
  request.url = server.url("/fresh");
  Outcome first, second;
  run(*cached, request, first);
  run(*cached, request, second);
  EXPECT_EQ(hits, 1);
  ASSERT_EQ(second.completions, 1);
  EXPECT_TRUE(second.responses[0].isCachedResponse);
  EXPECT_EQ(second.responses[0].bodyText(), "fresh body");

  request.url = server.url("/stale");
  Outcome third, fourth;
  run(*cached, request, third);
  run(*cached, request, fourth);
  EXPECT_EQ(notModified, 1);
  // The copy came first; "not modified" added nothing.
  ASSERT_EQ(fourth.completions, 1);
  EXPECT_TRUE(fourth.responses[0].isCachedResponse);
  EXPECT_EQ(fourth.errors, 0);

  // The disk copy outlives the engine.
  cached.reset();
  auto later = makeEngine(cacheOptions());
  Outcome fifth;
  request.url = server.url("/fresh");
  run(*later, request, fifth);
  EXPECT_EQ(hits, 3);
  EXPECT_TRUE(fifth.responses.at(0).isCachedResponse);
}

TEST_F(HttpEngineFixture, IdenticalQueuedGetsAreSentOnce) {
  std::mutex gate;
  std::condition_variable opened;
  bool open = false;
  std::atomic<int> hits{0};
  server->Get("/slow", [&](const httplib::Request&, httplib::Response& response) {
    ++hits;
    std::unique_lock lock(gate);
    opened.wait(lock, [&] { return open; });
    response.set_content("shared", "text/plain");
  });
  auto cached = makeEngine(cacheOptions());
  HttpRequest request;
  request.useCache = true;
  request.url = server.url("/slow");
  Outcome a, b;
  auto first = cached->enqueue(request, a.callbacks());
  while (hits == 0)
    std::this_thread::yield();
  auto second = cached->enqueue(request, b.callbacks());
  {
    std::lock_guard guard(gate);
    open = true;
    opened.notify_all();
  }
  ASSERT_TRUE(second->waitUntilFinished(Clock::real(),
                                        Clock::real().deadlineAfter(std::chrono::seconds(20))));
  ASSERT_TRUE(first->waitUntilFinished(Clock::real(),
                                       Clock::real().deadlineAfter(std::chrono::seconds(20))));
  EXPECT_EQ(hits, 1);
  EXPECT_EQ(a.responses.at(0).bodyText(), "shared");
  EXPECT_EQ(b.responses.at(0).bodyText(), "shared");
}

TEST_F(HttpEngineFixture, WidthFollowsTheKindOfLink) {
  EXPECT_EQ(engine->maxConcurrentTransfers(), 6);
  testEnv.reachability().setStatus(NetworkStatus::ReachableViaWWAN);
  testEnv.dispatcher().pump();
  EXPECT_EQ(engine->maxConcurrentTransfers(), 2);
}

TEST_F(HttpEngineFixture, CallbacksRunWhereTheCallerAsked) {
  server->Get("/x", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("x", "text/plain");
  });
  Outcome outcome;
  HttpCallbacks hooks = outcome.callbacks();
  hooks.deliver = [this](Task task) { testEnv.dispatcher().post(std::move(task)); };
  HttpRequest request;
  request.url = server.url("/x");
  auto operation = engine->enqueue(request, hooks);
  ASSERT_TRUE(
      testEnv.pumpUntil([&] { return operation->isFinished() && outcome.completions == 1; }));
}

TEST(HttpFormTest, FieldsAreEncodedLikeAQuery) {
  EXPECT_EQ(HttpEngine::formEncode({{"a", "1"}, {"b c", "x y/z"}}), "a=1&b%20c=x%20y%2Fz");
}

}  // namespace
}  // namespace mr

namespace mr {
namespace {

// An engine whose last owner is a request's callbacks (a client holding the
// engine, say): it ends where the callbacks run, never on its own thread
// (which cannot join itself).
TEST_F(HttpEngineFixture, AnEngineLetGoOfByItsOwnCallbacksEndsOffItsThread) {
  server->Get("/ok", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("ok", "text/plain");
  });
  ThreadPool pool("callbacks", 4);
  for (int round = 0; round < 200; ++round) {
    std::weak_ptr<HttpEngine> watched;
    {
      auto owned = std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(),
                                                HttpEngine::Options{});
      watched = owned;
      for (int i = 0; i < 3; ++i) {
        HttpRequest request;
        request.url = server.url("/ok");
        HttpCallbacks hooks;
        hooks.deliver = [&pool](Task task) { pool.post(std::move(task)); };
        hooks.onCompletion = [owned](HttpOperation&, const HttpResponse&) {};
        hooks.onError = [owned](HttpOperation&, const Error&) {};
        (void)owned->enqueue(std::move(request), std::move(hooks));
      }
    }
    while (!watched.expired())
      std::this_thread::yield();
  }
  pool.waitIdle();
}

}  // namespace
}  // namespace mr
