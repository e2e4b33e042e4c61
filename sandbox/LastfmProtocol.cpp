#include "sandbox/LastfmProtocol.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Value.h"
#include "sandbox/CoverPainter.h"
#include "sandbox/MusicCatalogue.h"
#include "sandbox/SandboxRouter.h"

namespace mr::sandbox {
namespace {

constexpr const char* kLastfmDomain = "last.fm";
constexpr const char* kXmlType = "text/xml; charset=utf-8";

enum LastfmCode {
  kInvalidService = 2,
  kInvalidMethod = 3,
  kInvalidParameters = 6,
  kInvalidApiKey = 10,
};

Error lastfmError(int code, std::string message) {
  return Error(kLastfmDomain, code, std::move(message));
}

Error missingParameter() {
  return lastfmError(kInvalidParameters,
                     "Invalid parameters - Your request is missing a required parameter");
}

struct ImageSize {
  const char* name;
  int pixels;
};
constexpr ImageSize kImageSizes[] = {
    {"small", 34}, {"medium", 64}, {"large", 174}, {"extralarge", 300}, {"mega", 500}};

// The packages of the real service, whose other methods are "invalid
// methods" rather than "invalid services".
constexpr std::string_view kPackages[] = {"album", "artist",      "auth",    "chart",    "event",
                                          "geo",   "group",       "library", "playlist", "radio",
                                          "tag",   "tasteometer", "track",   "user",     "venue"};

using Attributes = std::vector<std::pair<const char*, std::string>>;

// Writes the indented XML the service answers with.
class XmlOut {
 public:
  XmlOut() : out_("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n") {}

  XmlOut& open(const char* name, const Attributes& attributes = {}) {
    indent();
    out_ += '<';
    out_ += name;
    writeAttributes(attributes);
    out_ += ">\n";
    names_.emplace_back(name);
    return *this;
  }
  XmlOut& close() {
    const std::string name = std::move(names_.back());
    names_.pop_back();
    indent();
    out_ += "</" + name + ">\n";
    return *this;
  }
  XmlOut& leaf(const char* name, std::string_view text, const Attributes& attributes = {}) {
    indent();
    out_ += '<';
    out_ += name;
    writeAttributes(attributes);
    out_ += '>';
    out_ += escapeMarkup(text);
    out_ += "</";
    out_ += name;
    out_ += ">\n";
    return *this;
  }
  XmlOut& leaf(const char* name, int64_t number, const Attributes& attributes = {}) {
    return leaf(name, std::to_string(number), attributes);
  }
  XmlOut& empty(const char* name, const Attributes& attributes) {
    indent();
    out_ += '<';
    out_ += name;
    writeAttributes(attributes);
    out_ += "/>\n";
    return *this;
  }
  std::string take() {
    while (!names_.empty())
      close();
    return std::move(out_);
  }

 private:
  void indent() { out_.append(names_.size() * 2, ' '); }
  void writeAttributes(const Attributes& attributes) {
    for (const auto& [key, value] : attributes) {
      out_ += ' ';
      out_ += key;
      out_ += "=\"" + escapeMarkup(value) + '"';
    }
  }

  std::string out_;
  std::vector<std::string> names_;
};

SandboxResponse xmlAnswer(int status, std::string body) {
  return SandboxResponse::withStatus(status, kXmlType, std::move(body));
}

SandboxResponse failure(const Error& error) {
  XmlOut xml;
  xml.open("lfm", {{"status", "failed"}});
  xml.leaf("error", error.description(), {{"code", std::to_string(error.code())}});
  return xmlAnswer(400, xml.take());
}

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

// "1", "0.95", "0.123457": as the service writes its numbers.
std::string decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", value);
  std::string out(text);
  while (out.back() == '0')
    out.pop_back();
  if (out.back() == '.') out.pop_back();
  return out;
}

// A name in the service's addresses: blanks as "+", the rest percent-encoded.
std::string encodeName(std::string_view name) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
        (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~') {
      out += c;
    } else if (byte == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

// A positive whole-number parameter; the fallback when absent or not one.
int positiveParameter(const SandboxRequest& request, const char* key, int fallback) {
  const auto text = request.text(key);
  if (!text) return fallback;
  int value = 0;
  const auto parsed = std::from_chars(text->data(), text->data() + text->size(), value);
  if (parsed.ec != std::errc() || value <= 0) return fallback;
  return std::min(value, 1000);
}

bool autocorrect(const SandboxRequest& request) {
  return stringIntValue(request.text("autocorrect").value_or("0")) == 1;
}

bool nonEmpty(const std::optional<std::string>& text) {
  return text && !text->empty();
}

class Answerer {
 public:
  Answerer(const MusicCatalogue& catalogue, const SandboxRequest& request)
      : catalogue_(catalogue), request_(request), base_(request.baseUrl) {}

  Result<std::string> artistGetInfo() const {
    auto artist = requestedArtist();
    if (!artist.ok()) return artist.error();
    // Last.fm's code for Japanese is "jp"; "ja" is none of its codes.
    const bool japanese = lowerAscii(request_.text("lang").value_or("en")) == "jp";
    XmlOut xml;
    xml.open("lfm", {{"status", "ok"}});
    writeArtistInfo(xml, **artist, japanese);
    return xml.take();
  }

  Result<std::string> artistGetTopTracks() const {
    auto artist = requestedArtist();
    if (!artist.ok()) return artist.error();
    const std::vector<int>& tracks = (*artist)->tracks;
    const int limit = positiveParameter(request_, "limit", 50);
    const int page = positiveParameter(request_, "page", 1);
    const int total = static_cast<int>(tracks.size());
    XmlOut xml;
    xml.open("lfm", {{"status", "ok"}});
    xml.open("toptracks", {{"artist", (*artist)->name},
                           {"page", std::to_string(page)},
                           {"perPage", std::to_string(limit)},
                           {"totalPages", std::to_string((total + limit - 1) / limit)},
                           {"total", std::to_string(total)}});
    const int64_t first = int64_t{page - 1} * limit;
    for (int64_t rank = first; rank < std::min<int64_t>(total, first + limit); ++rank) {
      const CatalogueTrack& track =
          catalogue_.tracks()[static_cast<size_t>(tracks[static_cast<size_t>(rank)])];
      xml.open("track", {{"rank", std::to_string(rank + 1)}});
      xml.leaf("name", track.title);
      xml.leaf("playcount", track.playcount);
      xml.leaf("listeners", track.listeners);
      xml.leaf("mbid", track.mbid);
      xml.leaf("url", trackUrl(track));
      writeStreamable(xml, track);
      writeTrackArtist(xml, track);
      writeImages(xml, "album", track.album, true, true);
      xml.close();
    }
    return xml.take();
  }

  Result<std::string> artistSearch() const {
    const auto query = request_.text("artist");
    if (!nonEmpty(query)) return missingParameter();
    const std::string wanted = MusicCatalogue::foldName(*query);
    std::vector<const CatalogueArtist*> found;
    for (const CatalogueArtist& artist : catalogue_.artists()) {
      if (MusicCatalogue::foldName(artist.name).find(wanted) != std::string::npos)
        found.push_back(&artist);
    }
    // The name itself first, then the best known.
    std::stable_sort(found.begin(), found.end(), [&](const auto* a, const auto* b) {
      const bool aExact = MusicCatalogue::foldName(a->name) == wanted;
      const bool bExact = MusicCatalogue::foldName(b->name) == wanted;
      if (aExact != bExact) return aExact;
      return a->listeners > b->listeners;
    });
    const int limit = positiveParameter(request_, "limit", 30);
    const int page = positiveParameter(request_, "page", 1);
    const int64_t first = int64_t{page - 1} * limit;
    XmlOut xml;
    xml.open("lfm", {{"status", "ok"}});
    xml.open("results",
             {{"for", *query}, {"xmlns:opensearch", "http://a9.com/-/spec/opensearch/1.1/"}});
    xml.empty("opensearch:Query",
              {{"role", "request"}, {"searchTerms", *query}, {"startPage", std::to_string(page)}});
    xml.leaf("opensearch:totalResults", static_cast<int64_t>(found.size()));
    xml.leaf("opensearch:startIndex", first);
    xml.leaf("opensearch:itemsPerPage", limit);
    xml.open("artistmatches");
    for (int64_t i = first;
         i < std::min<int64_t>(static_cast<int64_t>(found.size()), first + limit); ++i) {
      const CatalogueArtist& artist = *found[static_cast<size_t>(i)];
      xml.open("artist");
      xml.leaf("name", artist.name);
      xml.leaf("listeners", artist.listeners);
      xml.leaf("mbid", artist.mbid);
      xml.leaf("url", artistUrl(artist));
      xml.leaf("streamable", artist.storeArtistId != 0 ? "1" : "0");
      writeImages(xml, "artist", artist.index, artist.hasImages, artist.hasMegaImage);
      xml.close();
    }
    xml.close();
    xml.empty("attr", {{"for", *query}});
    return xml.take();
  }

  Result<std::string> artistGetSimilar() const {
    auto artist = requestedArtist();
    if (!artist.ok()) return artist.error();
    const auto& similar = (*artist)->similar;
    const size_t limit =
        std::min(similar.size(), static_cast<size_t>(positiveParameter(request_, "limit", 100)));
    XmlOut xml;
    xml.open("lfm", {{"status", "ok"}});
    xml.open("similarartists", {{"artist", (*artist)->name}});
    for (size_t i = 0; i < limit; ++i) {
      const CatalogueArtist& other = catalogue_.artists()[static_cast<size_t>(similar[i].first)];
      xml.open("artist");
      xml.leaf("name", other.name);
      xml.leaf("mbid", other.mbid);
      xml.leaf("match", decimal(similar[i].second));
      xml.leaf("url", artistUrl(other));
      writeImages(xml, "artist", other.index, other.hasImages, other.hasMegaImage);
      xml.leaf("streamable", other.storeArtistId != 0 ? "1" : "0");
      xml.close();
    }
    return xml.take();
  }

  Result<std::string> trackGetInfo() const {
    auto found = requestedTrack();
    if (!found.ok()) return found.error();
    const CatalogueTrack& track = **found;
    const CatalogueArtist& artist = catalogue_.artistOf(track);
    const CatalogueAlbum& album = catalogue_.albumOf(track);
    XmlOut xml;
    xml.open("lfm", {{"status", "ok"}});
    xml.open("track");
    xml.leaf("id", 500000 + track.index);
    xml.leaf("name", track.title);
    xml.leaf("mbid", track.mbid);
    xml.leaf("url", trackUrl(track));
    xml.leaf("duration", track.durationMs);
    writeStreamable(xml, track);
    xml.leaf("listeners", track.listeners);
    xml.leaf("playcount", track.playcount);
    writeTrackArtist(xml, track);
    writeImages(xml, "album", track.album, true, true);
    xml.open("album", {{"position", std::to_string(track.trackNumber)}});
    xml.leaf("artist", artist.name);
    xml.leaf("title", album.title);
    xml.leaf("mbid", "");
    xml.leaf("url", artistUrl(artist) + "/" + encodeName(album.title));
    writeImages(xml, "album", album.index, true, true);
    xml.close();
    xml.open("toptags");
    for (const std::string& tag : artist.tags) {
      xml.open("tag");
      xml.leaf("name", tag);
      xml.leaf("url", base_ + "/lastfm/tag/" + encodeName(tag));
      xml.close();
    }
    return xml.take();
  }

  Result<std::string> trackGetSimilar() const {
    auto found = requestedTrack();
    if (!found.ok()) return found.error();
    const CatalogueTrack& track = **found;
    const auto similar = catalogue_.similarTracks(track.index);
    const size_t limit =
        std::min(similar.size(), static_cast<size_t>(positiveParameter(request_, "limit", 100)));
    XmlOut xml;
    xml.open("lfm", {{"status", "ok"}});
    xml.open("similartracks",
             {{"track", track.title}, {"artist", catalogue_.artistOf(track).name}});
    for (size_t i = 0; i < limit; ++i) {
      const CatalogueTrack& other = catalogue_.tracks()[static_cast<size_t>(similar[i].first)];
      xml.open("track");
      xml.leaf("name", other.title);
      xml.leaf("playcount", other.playcount);
      xml.leaf("mbid", other.mbid);
      xml.leaf("match", decimal(similar[i].second));
      xml.leaf("url", trackUrl(other));
      writeStreamable(xml, other);
      xml.leaf("duration", other.durationMs / 1000);
      writeTrackArtist(xml, other);
      writeImages(xml, "album", other.album, true, true);
      xml.close();
    }
    return xml.take();
  }

 private:
  Result<const CatalogueArtist*> requestedArtist() const {
    const CatalogueArtist* artist = nullptr;
    if (const auto mbid = request_.text("mbid"); nonEmpty(mbid)) {
      artist = catalogue_.findArtistByMbid(*mbid);
    } else if (const auto name = request_.text("artist"); nonEmpty(name)) {
      artist = catalogue_.findArtist(*name, autocorrect(request_));
    } else {
      return missingParameter();
    }
    if (artist == nullptr)
      return lastfmError(kInvalidParameters, "The artist you supplied could not be found");
    return artist;
  }

  Result<const CatalogueTrack*> requestedTrack() const {
    const CatalogueTrack* track = nullptr;
    if (const auto mbid = request_.text("mbid"); nonEmpty(mbid)) {
      track = catalogue_.findTrackByMbid(*mbid);
    } else {
      const auto title = request_.text("track");
      const auto name = request_.text("artist");
      if (!nonEmpty(title) || !nonEmpty(name)) return missingParameter();
      const bool ignoreCase = autocorrect(request_);
      if (const CatalogueArtist* artist = catalogue_.findArtist(*name, ignoreCase))
        track = catalogue_.findTrack(*artist, *title, ignoreCase);
    }
    if (track == nullptr) return lastfmError(kInvalidParameters, "Track not found");
    return track;
  }

  std::string artistUrl(const CatalogueArtist& artist) const {
    return base_ + "/lastfm/music/" + encodeName(artist.name);
  }
  std::string trackUrl(const CatalogueTrack& track) const {
    return artistUrl(catalogue_.artistOf(track)) + "/_/" + encodeName(track.title);
  }

  void writeImages(XmlOut& xml, const char* kind, int index, bool present, bool mega) const {
    for (const ImageSize& size : kImageSizes) {
      if (!mega && std::string_view(size.name) == "mega") continue;
      const std::string url = present
                                  ? base_ + "/lastfm/image/" + kind + "/" + std::to_string(index) +
                                        "/" + std::to_string(size.pixels) + ".png"
                                  : std::string();
      xml.leaf("image", url, {{"size", size.name}});
    }
  }

  void writeStreamable(XmlOut& xml, const CatalogueTrack& track) const {
    const char* streamable = track.store == StoreListing::Song ? "1" : "0";
    xml.leaf("streamable", streamable, {{"fulltrack", "0"}});
  }

  void writeTrackArtist(XmlOut& xml, const CatalogueTrack& track) const {
    const CatalogueArtist& artist = catalogue_.artistOf(track);
    xml.open("artist");
    xml.leaf("name", artist.name);
    xml.leaf("mbid", artist.mbid);
    xml.leaf("url", artistUrl(artist));
    xml.close();
  }

  void writeArtistInfo(XmlOut& xml, const CatalogueArtist& artist, bool japanese) const {
    const std::string url = artistUrl(artist);
    xml.open("artist");
    xml.leaf("name", artist.name);
    xml.leaf("mbid", artist.mbid);
    xml.leaf("url", url);
    writeImages(xml, "artist", artist.index, artist.hasImages, artist.hasMegaImage);
    xml.leaf("streamable", artist.storeArtistId != 0 ? "1" : "0");
    xml.leaf("ontour", "0");
    xml.open("stats");
    xml.leaf("listeners", artist.listeners);
    xml.leaf("playcount", artist.playcount);
    xml.close();
    xml.open("similar");
    for (size_t i = 0; i < std::min<size_t>(5, artist.similar.size()); ++i) {
      const CatalogueArtist& other =
          catalogue_.artists()[static_cast<size_t>(artist.similar[i].first)];
      xml.open("artist");
      xml.leaf("name", other.name);
      xml.leaf("url", artistUrl(other));
      writeImages(xml, "artist", other.index, other.hasImages, other.hasMegaImage);
      xml.close();
    }
    xml.close();
    xml.open("tags");
    for (const std::string& tag : artist.tags) {
      xml.open("tag");
      xml.leaf("name", tag);
      xml.leaf("url", base_ + "/lastfm/tag/" + encodeName(tag));
      xml.close();
    }
    xml.close();
    const CatalogueBio& bio = japanese ? artist.japaneseBio : artist.englishBio;
    xml.open("bio");
    xml.open("links");
    xml.empty("link", {{"rel", "original"}, {"href", url + "/+wiki"}});
    xml.close();
    xml.leaf("published", bio.published);
    if (bio.summary.empty()) {
      xml.leaf("summary", "");
      xml.leaf("content", "");
    } else {
      const std::string more = std::string(" <a href=\"") + url + "\">" +
                               (japanese ? "Last.fmでもっと読む" : "Read more on Last.fm") + "</a>";
      xml.leaf("summary", bio.summary + more);
      xml.leaf("content",
               bio.content + more +
                   ". User-contributed text is available under the Creative Commons By-SA "
                   "License; additional terms may apply.");
    }
    xml.close();
    xml.close();
  }

  const MusicCatalogue& catalogue_;
  const SandboxRequest& request_;
  std::string base_;
};

}  // namespace

SandboxResponse LastfmProtocol::call(const SandboxRequest& request) const {
  if (request.text("api_key").value_or("") != apiKey_) {
    return failure(lastfmError(kInvalidApiKey,
                               "Invalid API key - You must be granted a valid key by last.fm"));
  }
  const std::string method = lowerAscii(request.text("method").value_or(""));
  const Answerer answerer(catalogue_, request);
  Result<std::string> answer = std::string();
  if (method == "artist.getinfo") {
    answer = answerer.artistGetInfo();
  } else if (method == "artist.gettoptracks") {
    answer = answerer.artistGetTopTracks();
  } else if (method == "artist.search") {
    answer = answerer.artistSearch();
  } else if (method == "artist.getsimilar") {
    answer = answerer.artistGetSimilar();
  } else if (method == "track.getinfo") {
    answer = answerer.trackGetInfo();
  } else if (method == "track.getsimilar") {
    answer = answerer.trackGetSimilar();
  } else {
    const std::string_view package = std::string_view(method).substr(0, method.find('.'));
    const bool known =
        method.find('.') != std::string::npos &&
        std::find(std::begin(kPackages), std::end(kPackages), package) != std::end(kPackages);
    if (!method.empty() && !known) {
      return failure(lastfmError(kInvalidService, "Invalid service - This service does not exist"));
    }
    return failure(
        lastfmError(kInvalidMethod, "Invalid Method - No method with that name in this package"));
  }
  if (!answer.ok()) return failure(answer.error());
  return xmlAnswer(200, std::move(answer.value()));
}

void LastfmProtocol::registerRoutes(SandboxRouter& router) {
  router.get("/2\\.0/?", Signing::None,
             [this](const SandboxRequest& request) { return call(request); });
  router.get("/lastfm/(music|tag)/(.+)", Signing::None, [](const SandboxRequest& request) {
    std::string name = request.captures.at(1);
    std::replace(name.begin(), name.end(), '+', ' ');
    return SandboxResponse::html(200, name, "<p>On Last.fm.</p>");
  });
  router.get("/lastfm/image/(artist|album)/([0-9]{1,6})/([0-9]{1,3})\\.png", Signing::None,
             [this](const SandboxRequest& request) {
               const std::string& kind = request.captures.at(0);
               const int index = std::stoi(request.captures.at(1));
               const int pixels = std::stoi(request.captures.at(2));
               const size_t count =
                   kind == "artist" ? catalogue_.artists().size() : catalogue_.albums().size();
               const bool knownSize =
                   std::any_of(std::begin(kImageSizes), std::end(kImageSizes),
                               [pixels](const ImageSize& size) { return size.pixels == pixels; });
               if (static_cast<size_t>(index) >= count || !knownSize) {
                 return SandboxResponse::html(404, "Not Found", "<p>No such picture.</p>");
               }
               // Artists and albums draw from separate ranges of subjects.
               const uint64_t subject =
                   (kind == "artist" ? 0x1000000U : 0x2000000U) + static_cast<uint64_t>(index);
               return SandboxResponse::png(CoverPainter::paint(subject, pixels, pixels));
             });
}

}  // namespace mr::sandbox
