#include "playback/GstMediaPlayer.h"

#include <gst/controller/controller.h>
#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <deque>
#include <utility>

#include "base/Log.h"

namespace mr {
namespace {

// playbin's flags (GstPlayFlags).
constexpr guint kPlayAudio = 1u << 1;
constexpr guint kPlaySoftVolume = 1u << 4;
constexpr guint kPlayDownload = 1u << 7;
// decodebin's answers to "autoplug-select" (GstAutoplugSelectResult).
constexpr gint kAutoplugTry = 0;
constexpr gint kAutoplugExpose = 1;

constexpr const char* kAudioSinkVariable = "MIRELUNE_AUDIO_SINK";

Error mediaError(MediaErrorCode code, std::string description, std::string reason = {}) {
  return Error(kMediaErrorDomain, static_cast<int64_t>(code), std::move(description),
               std::move(reason));
}

GstClockTime clockTime(double seconds) {
  return seconds <= 0 ? 0 : static_cast<GstClockTime>(std::llround(seconds * GST_SECOND));
}

double seconds(guint64 nanoseconds) {
  return static_cast<double>(nanoseconds) / static_cast<double>(GST_SECOND);
}

bool startsWithNoCase(const std::string& text, const char* prefix) {
  return g_ascii_strncasecmp(text.c_str(), prefix, std::strlen(prefix)) == 0;
}

MediaErrorCode codeOf(const GError* error) {
  if (error->domain == GST_RESOURCE_ERROR) {
    if (error->code == GST_RESOURCE_ERROR_NOT_FOUND) return MediaErrorCode::NotFound;
    if (error->code == GST_RESOURCE_ERROR_OPEN_WRITE ||
        error->code == GST_RESOURCE_ERROR_OPEN_READ_WRITE) {
      return MediaErrorCode::AudioOutput;
    }
    return MediaErrorCode::Unreadable;
  }
  if (error->domain == GST_STREAM_ERROR) {
    switch (error->code) {
      case GST_STREAM_ERROR_DECODE:
        return MediaErrorCode::Decode;
      case GST_STREAM_ERROR_TYPE_NOT_FOUND:
      case GST_STREAM_ERROR_WRONG_TYPE:
      case GST_STREAM_ERROR_CODEC_NOT_FOUND:
      case GST_STREAM_ERROR_DEMUX:
      case GST_STREAM_ERROR_FORMAT:
        return MediaErrorCode::NotMedia;
      default:
        return MediaErrorCode::Other;
    }
  }
  if (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN) {
    return MediaErrorCode::NotMedia;
  }
  return MediaErrorCode::Other;
}

// autoaudiosink puts a fake sink of its own in when no device opens; this
// tells that case apart, once per process.
bool hasSoundDevice() {
  static const bool found = [] {
    GstElement* probe = gst_element_factory_make("autoaudiosink", nullptr);
    if (probe == nullptr) return false;
    gst_object_ref_sink(probe);
    bool opened = gst_element_set_state(probe, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
    if (opened && GST_IS_BIN(probe)) {
      GstIterator* children = gst_bin_iterate_elements(GST_BIN(probe));
      GValue item = G_VALUE_INIT;
      while (gst_iterator_next(children, &item) == GST_ITERATOR_OK) {
        GstElementFactory* factory =
            gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
        if (factory != nullptr &&
            g_strcmp0(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)), "fakesink") == 0) {
          opened = false;
        }
        g_value_reset(&item);
      }
      g_value_unset(&item);
      gst_iterator_free(children);
    }
    gst_element_set_state(probe, GST_STATE_NULL);
    gst_object_unref(probe);
    if (!opened) log::warning("No sound device: playing silently");
    return opened;
  }();
  return found;
}

// The sound output: the description given, else the sound card, else a
// null sink that keeps the clock's pace (so a cross-fade still takes its time).
Result<GstElement*> makeAudioSink(const std::string& description) {
  if (description.empty()) {
    if (hasSoundDevice()) {
      if (GstElement* sink = gst_element_factory_make("autoaudiosink", nullptr)) return sink;
    }
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (sink == nullptr) return mediaError(MediaErrorCode::Unavailable, "no fakesink element");
    g_object_set(sink, "sync", TRUE, nullptr);
    return sink;
  }
  GError* error = nullptr;
  GstElement* sink = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
  if (error != nullptr || sink == nullptr) {
    std::string message = error != nullptr ? error->message : "unusable";
    if (error != nullptr) g_error_free(error);
    if (sink != nullptr) gst_object_unref(gst_object_ref_sink(sink));
    return mediaError(MediaErrorCode::AudioOutput,
                      std::string(kAudioSinkVariable) + " \"" + description + "\": " + message);
  }
  return sink;
}

GstElement* makeElement(const char* factory, const char* name = nullptr) {
  return gst_element_factory_make(factory, name);
}

}  // namespace

struct GstMediaPlayer::Core : std::enable_shared_from_this<Core> {
  std::string url;
  bool stream = false;
  GMainContext* context = g_main_context_ref_thread_default();
  GstElement* playbin = nullptr;
  GstElement* volume = nullptr;  // owned by playbin
  GstControlSource* fader = nullptr;
  GSource* busWatch = nullptr;
  // While a stream waits for data: asks the pipeline again, as the
  // download buffer does not always post its 100 % after reading from
  // another offset of a file it already holds.
  GSource* dataCheck = nullptr;
  GSource* noticeSource = nullptr;
  bool dead = false;

  Observer observer;
  std::deque<std::function<void()>> notices;

  MediaPlayerReadiness readiness = MediaPlayerReadiness::Unknown;
  MediaItemStatus itemStatus = MediaItemStatus::Unknown;
  std::optional<Error> error;
  double rate = 0;
  std::optional<double> duration;
  std::vector<MediaTimeRange> ranges;
  bool bufferEmpty = true;
  bool likelyToKeepUp = false;
  std::optional<MediaAssetInfo> asset;
  std::vector<std::function<void(Result<MediaAssetInfo>)>> assetWaiters;
  int answersPending = 0;  // asset answers queued and not yet delivered

  bool wantsPlaying = false;
  bool prerolled = false;       // the first preroll is over
  bool waitingForData = false;  // a stream has too little buffered to play on
  bool stalled = false;         // ... and that began while playing
  bool downloaded = false;      // a stream is all here: it never waits again
  bool ended = false;
  std::optional<double> pendingSeek;
  mutable double lastPosition = 0;
  GstState requested = GST_STATE_NULL;
  std::vector<MediaVolumeRamp> ramps;
  int audioTrack = 1;
  std::atomic<bool> wantsPicture{false};
  // Where (stream time, ns) the last buffer to reach the fader ends; -1
  // before any. Written on the streaming thread.
  std::atomic<gint64> processedUntil{-1};

  ~Core() {
    shutdown();
    g_main_context_unref(context);
  }

  Status build(const std::string& address, const std::string& audioSink) {
    url = address;
    stream = startsWithNoCase(url, "http://") || startsWithNoCase(url, "https://");
    if (Status started = GstMediaPlayerFactory::initialize(); !started.ok()) return started;
    if (!gst_uri_is_valid(url.c_str())) {
      return mediaError(MediaErrorCode::NotFound, "\"" + url + "\" is not an address");
    }
    playbin = makeElement("playbin");
    if (playbin == nullptr) return mediaError(MediaErrorCode::Unavailable, "no playbin element");
    gst_object_ref_sink(playbin);

    auto filter = makeFader();
    if (!filter.ok()) return filter.error();
    auto sink = makeAudioSink(audioSink);
    if (!sink.ok()) {
      gst_object_unref(gst_object_ref_sink(filter.value()));
      return sink.error();
    }
    guint flags = kPlayAudio | kPlaySoftVolume;
    if (stream) flags |= kPlayDownload;
    g_object_set(playbin, "uri", url.c_str(), "audio-filter", filter.value(), "audio-sink",
                 sink.value(), "flags", flags, nullptr);
    g_signal_connect(playbin, "element-setup", G_CALLBACK(onElementSetup), this);

    GstBus* bus = gst_element_get_bus(playbin);
    busWatch = gst_bus_create_watch(bus);
    gst_object_unref(bus);
    g_source_set_callback(busWatch, G_SOURCE_FUNC(onBusMessage), this, nullptr);
    g_source_attach(busWatch, context);

    // Preroll at once: the length and the tracks are known before play.
    requested = GST_STATE_PAUSED;
    gst_element_set_state(playbin, GST_STATE_PAUSED);
    return {};
  }

  // audioconvert ! volume, the volume driven by a linear control source.
  Result<GstElement*> makeFader() {
    GstElement* bin = gst_bin_new("fader");
    GstElement* convert = makeElement("audioconvert");
    volume = makeElement("volume");
    if (convert == nullptr || volume == nullptr) {
      for (GstElement* element : {bin, convert, volume})
        if (element != nullptr) gst_object_unref(gst_object_ref_sink(element));
      volume = nullptr;
      return mediaError(MediaErrorCode::Unavailable, "no audioconvert or volume element");
    }
    gst_bin_add_many(GST_BIN(bin), convert, volume, nullptr);
    gst_element_link(convert, volume);
    GstPad* in = gst_element_get_static_pad(convert, "sink");
    GstPad* out = gst_element_get_static_pad(volume, "src");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", in));
    gst_element_add_pad(bin, gst_ghost_pad_new("src", out));
    gst_object_unref(out);
    gst_object_unref(in);

    fader = gst_interpolation_control_source_new();
    g_object_set(fader, "mode", GST_INTERPOLATION_MODE_LINEAR, nullptr);
    gst_object_add_control_binding(GST_OBJECT(volume), gst_direct_control_binding_new_absolute(
                                                           GST_OBJECT(volume), "volume", fader));
    programFader();

    GstPad* volumeIn = gst_element_get_static_pad(volume, "sink");
    gst_pad_add_probe(volumeIn, GST_PAD_PROBE_TYPE_BUFFER, onFaderBuffer, this, nullptr);
    gst_object_unref(volumeIn);
    return bin;
  }

  void shutdown() {
    if (dead) return;
    dead = true;
    observer = nullptr;
    notices.clear();
    assetWaiters.clear();
    if (noticeSource != nullptr) {
      g_source_destroy(noticeSource);
      g_source_unref(std::exchange(noticeSource, nullptr));
    }
    if (busWatch != nullptr) {
      g_source_destroy(busWatch);
      g_source_unref(std::exchange(busWatch, nullptr));
    }
    stopDataCheck();
    if (playbin != nullptr) {
      gst_element_set_state(playbin, GST_STATE_NULL);
      g_signal_handlers_disconnect_by_data(playbin, this);
      gst_object_unref(std::exchange(playbin, nullptr));
    }
    volume = nullptr;
    if (fader != nullptr) gst_object_unref(std::exchange(fader, nullptr));
  }

  // ---- Notices: every call out of the player runs from the main loop, never
  // from inside a call into it, so a watcher may drop the player at any time.

  void queue(std::function<void()> task) {
    if (dead) return;
    notices.push_back(std::move(task));
    if (noticeSource == nullptr) {
      noticeSource = g_idle_source_new();
      g_source_set_callback(noticeSource, dispatchNotices, this, nullptr);
      g_source_attach(noticeSource, context);
    }
  }

  static gboolean dispatchNotices(gpointer data) {
    std::shared_ptr<Core> self = static_cast<Core*>(data)->shared_from_this();
    GSource* mine = std::exchange(self->noticeSource, nullptr);
    while (!self->dead && !self->notices.empty()) {
      std::function<void()> task = std::move(self->notices.front());
      self->notices.pop_front();
      task();
    }
    if (mine != nullptr) g_source_unref(mine);
    return G_SOURCE_REMOVE;
  }

  void notify(Property property) {
    queue([this, property] {
      if (Observer watcher = observer) watcher(property);
    });
  }

  // Playback starts after the answers are delivered, so volume ramps set in
  // them hold from the first sample.
  void answerAsset(std::function<void(Result<MediaAssetInfo>)> done) {
    if (dead) return;
    ++answersPending;
    queue([this, done = std::move(done)] {
      --answersPending;
      if (asset) {
        done(*asset);
      } else {
        done(error.value_or(
            mediaError(MediaErrorCode::Other, "the item was dropped before it loaded")));
      }
      if (!dead) applyState();
    });
  }

  // ---- State.

  void setRate(double value, bool announce) {
    const bool changed = value != rate;
    rate = value;
    if (changed || announce) notify(Property::Rate);
  }

  void updateRate(bool announce = false) {
    const bool playing =
        wantsPlaying && !stalled && !ended && itemStatus != MediaItemStatus::Failed;
    setRate(playing ? 1.0 : 0.0, announce);
  }

  void applyState() {
    if (dead || playbin == nullptr || itemStatus == MediaItemStatus::Failed) return;
    bool playing = wantsPlaying && !waitingForData && !ended && prerolled;
    if (playing && requested != GST_STATE_PLAYING && answersPending > 0) playing = false;
    const GstState target = playing ? GST_STATE_PLAYING : GST_STATE_PAUSED;
    if (target == requested) return;
    requested = target;
    gst_element_set_state(playbin, target);
  }

  void fail(Error failure) {
    if (itemStatus == MediaItemStatus::Failed) return;
    log::debug("media player: {}: {}", url, failure.toString());
    error = std::move(failure);
    itemStatus = MediaItemStatus::Failed;
    readiness = MediaPlayerReadiness::Failed;
    wantsPlaying = false;
    notify(Property::ItemStatus);
    notify(Property::Readiness);
    updateRate();
    for (auto& done : std::exchange(assetWaiters, {}))
      answerAsset(std::move(done));
    if (playbin != nullptr) {
      requested = GST_STATE_NULL;
      gst_element_set_state(playbin, GST_STATE_NULL);
    }
  }

  std::optional<double> queryDuration() const {
    gint64 length = 0;
    if (playbin == nullptr || !gst_element_query_duration(playbin, GST_FORMAT_TIME, &length) ||
        length <= 0) {
      return std::nullopt;
    }
    return seconds(static_cast<guint64>(length));
  }

  void setBuffered(bool empty, bool keepsUp) {
    if (empty != bufferEmpty) {
      bufferEmpty = empty;
      notify(Property::PlaybackBufferEmpty);
    }
    if (keepsUp != likelyToKeepUp) {
      likelyToKeepUp = keepsUp;
      notify(Property::PlaybackLikelyToKeepUp);
    }
  }

  void setRanges(std::vector<MediaTimeRange> loaded) {
    if (loaded == ranges) return;
    ranges = std::move(loaded);
    notify(Property::LoadedTimeRanges);
  }

  // What a stream has downloaded, as parts of its length. Returns whether
  // all of it has, which is known before the length is (buffering starts
  // before the preroll ends).
  bool updateStreamRanges() {
    if (playbin == nullptr) return false;
    bool whole = false;
    GstQuery* query = gst_query_new_buffering(GST_FORMAT_PERCENT);
    if (gst_element_query(playbin, query)) {
      GstFormat format = GST_FORMAT_UNDEFINED;
      gst_query_parse_buffering_range(query, &format, nullptr, nullptr, nullptr);
      std::vector<MediaTimeRange> loaded;
      const guint count = gst_query_get_n_buffering_ranges(query);
      for (guint i = 0; format == GST_FORMAT_PERCENT && i < count; ++i) {
        gint64 start = 0;
        gint64 stop = 0;
        if (!gst_query_parse_nth_buffering_range(query, i, &start, &stop) || stop <= start)
          continue;
        if (start == 0 && stop >= GST_FORMAT_PERCENT_MAX) whole = true;
        if (!duration) continue;
        const double from = *duration * static_cast<double>(start) / GST_FORMAT_PERCENT_MAX;
        const double to = *duration * static_cast<double>(stop) / GST_FORMAT_PERCENT_MAX;
        loaded.push_back({from, std::min(to, *duration) - from});
      }
      if (duration) setRanges(std::move(loaded));
    }
    gst_query_unref(query);
    return whole;
  }

  void onPrerolled() {
    if (prerolled) return;
    prerolled = true;
    duration = queryDuration();
    gint audioCount = 0;
    gint currentAudio = 0;
    g_object_get(playbin, "n-audio", &audioCount, "current-audio", &currentAudio, nullptr);
    audioTrack = std::max(0, currentAudio) + 1;

    readiness = MediaPlayerReadiness::ReadyToPlay;
    itemStatus = MediaItemStatus::ReadyToPlay;
    notify(Property::Readiness);
    notify(Property::ItemStatus);
    if (stream) {
      updateStreamRanges();
    } else {
      if (duration) setRanges({{0, *duration}});
      setBuffered(false, true);
    }

    if (duration) {
      MediaAssetInfo info;
      info.duration = *duration;
      for (int track = 1; track <= audioCount; ++track)
        info.audioTrackIds.push_back(track);
      asset = info;
    } else {
      error = mediaError(MediaErrorCode::NotMedia, url + ": the length of the item is not known");
    }
    for (auto& done : std::exchange(assetWaiters, {}))
      answerAsset(std::move(done));

    if (pendingSeek) seekNow(*std::exchange(pendingSeek, std::nullopt));
    applyState();
  }

  void onBuffering(int percent) {
    if (!stream || ended) return;
    // Once all of it is here the stream cannot run dry: a later low level
    // (the download buffer reading from another offset) would pause the
    // pipeline for a 100 % that never comes.
    if (updateStreamRanges()) downloaded = true;
    const bool waiting = percent < 100 && !downloaded;
    if (waiting != waitingForData) {
      waitingForData = waiting;
      if (waiting) {
        startDataCheck();
      } else {
        stopDataCheck();
      }
      stalled = waiting && requested == GST_STATE_PLAYING;
      setBuffered(waiting, !waiting);
      updateRate();
      applyState();
    }
  }

  void startDataCheck() {
    if (dataCheck != nullptr || dead) return;
    dataCheck = g_timeout_source_new(250);
    g_source_set_callback(dataCheck, G_SOURCE_FUNC(onDataCheck), this, nullptr);
    g_source_attach(dataCheck, context);
  }

  void stopDataCheck() {
    if (dataCheck == nullptr) return;
    g_source_destroy(dataCheck);
    g_source_unref(std::exchange(dataCheck, nullptr));
  }

  static gboolean onDataCheck(gpointer data) {
    std::shared_ptr<Core> self = static_cast<Core*>(data)->shared_from_this();
    if (self->dead || !self->waitingForData || self->playbin == nullptr) return G_SOURCE_CONTINUE;
    GstQuery* query = gst_query_new_buffering(GST_FORMAT_PERCENT);
    gboolean busy = TRUE;
    gint percent = 0;
    if (gst_element_query(self->playbin, query)) {
      gst_query_parse_buffering_percent(query, &busy, &percent);
    }
    gst_query_unref(query);
    if (self->updateStreamRanges()) self->downloaded = true;
    if (!busy || percent >= 100 || self->downloaded) {
      log::debug("media player: {}: buffered {}% on asking again", self->url, percent);
      self->onBuffering(100);
    }
    return G_SOURCE_CONTINUE;
  }

  void onEnd() {
    ended = true;
    if (duration) lastPosition = *duration;
    wantsPlaying = false;
    stalled = false;
    waitingForData = false;
    if (stream) updateStreamRanges();
    updateRate();
    applyState();
  }

  void handle(GstMessage* message) {
    if (itemStatus == MediaItemStatus::Failed) return;
    switch (GST_MESSAGE_TYPE(message)) {
      case GST_MESSAGE_ERROR: {
        GError* failure = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &failure, &debug);
        fail(mediaError(codeOf(failure), url + ": " + failure->message, debug ? debug : ""));
        g_error_free(failure);
        g_free(debug);
        break;
      }
      case GST_MESSAGE_WARNING: {
        GError* warning = nullptr;
        gst_message_parse_warning(message, &warning, nullptr);
        log::debug("media player: {}: {}", url, warning->message);
        g_error_free(warning);
        break;
      }
      case GST_MESSAGE_EOS:
        onEnd();
        break;
      case GST_MESSAGE_ASYNC_DONE:
        if (GST_MESSAGE_SRC(message) == GST_OBJECT(playbin)) onPrerolled();
        break;
      case GST_MESSAGE_BUFFERING: {
        gint percent = 0;
        gst_message_parse_buffering(message, &percent);
        log::debug("media player: {}: {} buffered {}%", url, GST_MESSAGE_SRC_NAME(message),
                   percent);
        onBuffering(percent);
        break;
      }
      case GST_MESSAGE_DURATION_CHANGED:
        if (auto length = queryDuration()) duration = length;
        break;
      default:
        break;
    }
  }

  static gboolean onBusMessage(GstBus*, GstMessage* message, gpointer data) {
    std::shared_ptr<Core> self = static_cast<Core*>(data)->shared_from_this();
    if (!self->dead) self->handle(message);
    return G_SOURCE_CONTINUE;
  }

  // ---- Streaming threads.

  // The picture is not decoded unless asked for: its decoder is left out
  // and the stream, still coded, goes nowhere.
  static gint onAutoplugSelect(GstElement*, GstPad*, GstCaps*, GstElementFactory* factory,
                               gpointer data) {
    auto* core = static_cast<Core*>(data);
    const gchar* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    if (klass != nullptr && !core->wantsPicture && std::strstr(klass, "Decoder") != nullptr &&
        (std::strstr(klass, "Video") != nullptr || std::strstr(klass, "Image") != nullptr)) {
      return kAutoplugExpose;
    }
    return kAutoplugTry;
  }

  static void onElementSetup(GstElement*, GstElement* element, gpointer data) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (factory != nullptr &&
        g_strcmp0(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)), "uridecodebin") == 0) {
      g_signal_connect(element, "autoplug-select", G_CALLBACK(onAutoplugSelect), data);
    }
  }

  static GstPadProbeReturn onFaderBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (buffer == nullptr || !GST_BUFFER_PTS_IS_VALID(buffer)) return GST_PAD_PROBE_OK;
    GstEvent* event = gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0);
    if (event == nullptr) return GST_PAD_PROBE_OK;
    const GstSegment* segment = nullptr;
    gst_event_parse_segment(event, &segment);
    GstClockTime end = GST_BUFFER_PTS(buffer);
    if (GST_BUFFER_DURATION_IS_VALID(buffer)) end += GST_BUFFER_DURATION(buffer);
    const guint64 streamTime = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, end);
    gst_event_unref(event);
    if (streamTime != GST_CLOCK_TIME_NONE) {
      static_cast<Core*>(data)->processedUntil = static_cast<gint64>(streamTime);
    }
    return GST_PAD_PROBE_OK;
  }

  // ---- Seeking and fading.

  double position() const {
    if (ended && duration) return *duration;
    if (pendingSeek) return *pendingSeek;
    gint64 at = 0;
    if (playbin != nullptr && prerolled && itemStatus != MediaItemStatus::Failed &&
        gst_element_query_position(playbin, GST_FORMAT_TIME, &at) && at >= 0) {
      lastPosition = seconds(static_cast<guint64>(at));
    }
    if (duration) lastPosition = std::min(lastPosition, *duration);
    return lastPosition;
  }

  void seekNow(double to) {
    lastPosition = to;
    if (!gst_element_seek_simple(
            playbin, GST_FORMAT_TIME,
            static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
            clockTime(to))) {
      log::debug("media player: {}: cannot seek to {:.3f} s", url, to);
    }
  }

  void seek(double to) {
    if (dead || playbin == nullptr || itemStatus == MediaItemStatus::Failed) return;
    to = std::max(0.0, to);
    if (duration) to = std::min(to, *duration);
    if (!duration || to < *duration) ended = false;
    if (!prerolled) {
      pendingSeek = to;
      lastPosition = to;
      return;
    }
    seekNow(to);
    applyState();
  }

  // The control points of the ramps: 1 before the first, each ramp's line,
  // the volume held between ramps and after the last.
  void programFader() {
    auto* points = GST_TIMED_VALUE_CONTROL_SOURCE(fader);
    gst_timed_value_control_source_unset_all(points);
    double held = 1.0;
    GstClockTime last = 0;
    gst_timed_value_control_source_set(points, 0, 1.0);
    for (const MediaVolumeRamp& ramp : ramps) {
      const GstClockTime start = clockTime(ramp.start);
      const GstClockTime end = clockTime(ramp.start + std::max(0.0, ramp.duration));
      if (start > last + 1 && held != ramp.startVolume) {
        gst_timed_value_control_source_set(points, start - 1, held);
      }
      gst_timed_value_control_source_set(points, start, std::clamp(ramp.startVolume, 0.0, 10.0));
      gst_timed_value_control_source_set(points, end, std::clamp(ramp.endVolume, 0.0, 10.0));
      held = std::clamp(ramp.endVolume, 0.0, 10.0);
      last = end;
    }
  }

  void setRamps(std::vector<MediaVolumeRamp> wanted, const std::vector<int>& tracks) {
    if (dead || fader == nullptr) return;
    if (!tracks.empty() && std::find(tracks.begin(), tracks.end(), audioTrack) == tracks.end()) {
      return;
    }
    std::stable_sort(wanted.begin(), wanted.end(),
                     [](const auto& a, const auto& b) { return a.start < b.start; });
    if (wanted == ramps) return;
    // The volume at a time depends only on the ramps that start before it,
    // so samples before the first ramp that changed keep their volume.
    double firstChange = HUGE_VAL;
    for (const auto* list : {&ramps, &wanted}) {
      const auto* other = list == &ramps ? &wanted : &ramps;
      for (const MediaVolumeRamp& ramp : *list) {
        if (std::find(other->begin(), other->end(), ramp) == other->end()) {
          firstChange = std::min(firstChange, ramp.start);
        }
      }
    }
    ramps = std::move(wanted);
    programFader();
    // Samples past that point that went through the fader before it changed
    // are played again from where the listener is, so the ramps hold from
    // the first sample.
    const gint64 reached = processedUntil;
    if (reached < 0 || ended || itemStatus == MediaItemStatus::Failed ||
        seconds(static_cast<guint64>(reached)) <= std::max(0.0, firstChange)) {
      return;
    }
    seek(position());
  }
};

GstMediaPlayer::GstMediaPlayer(const std::string& url, const std::string& audioSink)
    : core_(std::make_shared<Core>()) {
  if (Status built = core_->build(url, audioSink); !built.ok()) core_->fail(built.error());
}

GstMediaPlayer::~GstMediaPlayer() {
  core_->shutdown();
}

void GstMediaPlayer::play() {
  Core& core = *core_;
  if (core.itemStatus != MediaItemStatus::Failed && !core.ended) core.wantsPlaying = true;
  core.updateRate(true);
  // On the next turn of the loop, so that a loadAsset() right after play()
  // holds the start until its answer has set the ramps.
  core.queue([&core] { core.applyState(); });
}

void GstMediaPlayer::pause() {
  core_->wantsPlaying = false;
  core_->updateRate(true);
  core_->applyState();
}

double GstMediaPlayer::rate() const {
  return core_->rate;
}

double GstMediaPlayer::currentTime() const {
  return core_->position();
}

void GstMediaPlayer::seekToTime(double seconds) {
  core_->seek(seconds);
  core_->updateRate();
}

MediaPlayerReadiness GstMediaPlayer::readiness() const {
  return core_->readiness;
}

std::optional<double> GstMediaPlayer::duration() const {
  return core_->duration;
}

MediaItemStatus GstMediaPlayer::itemStatus() const {
  return core_->itemStatus;
}

std::optional<Error> GstMediaPlayer::itemError() const {
  return core_->itemStatus == MediaItemStatus::Failed ? core_->error : std::nullopt;
}

std::vector<MediaTimeRange> GstMediaPlayer::loadedTimeRanges() const {
  return core_->ranges;
}

bool GstMediaPlayer::playbackBufferEmpty() const {
  return core_->bufferEmpty;
}

bool GstMediaPlayer::playbackLikelyToKeepUp() const {
  return core_->likelyToKeepUp;
}

void GstMediaPlayer::loadAsset(std::function<void(Result<MediaAssetInfo>)> done) {
  if (!done) return;
  Core& core = *core_;
  if (core.prerolled || core.itemStatus == MediaItemStatus::Failed) {
    core.answerAsset(std::move(done));
  } else {
    core.assetWaiters.push_back(std::move(done));
  }
}

void GstMediaPlayer::setVolumeRamps(std::vector<MediaVolumeRamp> ramps,
                                    const std::vector<int>& audioTrackIds) {
  core_->setRamps(std::move(ramps), audioTrackIds);
}

void GstMediaPlayer::setObserver(Observer observer) {
  core_->observer = std::move(observer);
}

void GstMediaPlayer::setWantsPicture(bool wants) {
  core_->wantsPicture = wants;
}

bool GstMediaPlayer::wantsPicture() const {
  return core_->wantsPicture;
}

GstMediaPlayerFactory::GstMediaPlayerFactory(EnvironmentLookup environment)
    : environment_(std::move(environment)) {}

std::unique_ptr<MRMediaPlayer> GstMediaPlayerFactory::playerForUrl(const std::string& url) {
  const int number = nextPlayer_++;
  std::string sink = environment_ ? environment_(kAudioSinkVariable).value_or("") : "";
  for (size_t at = sink.find("{n}"); at != std::string::npos; at = sink.find("{n}", at)) {
    sink.replace(at, 3, std::to_string(number));
  }
  return std::make_unique<GstMediaPlayer>(url, sink);
}

Status GstMediaPlayerFactory::initialize() {
  static const Status started = []() -> Status {
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
      std::string message = error != nullptr ? error->message : "unknown reason";
      if (error != nullptr) g_error_free(error);
      return mediaError(MediaErrorCode::Unavailable, "GStreamer cannot start: " + message);
    }
    return {};
  }();
  return started;
}

}  // namespace mr
