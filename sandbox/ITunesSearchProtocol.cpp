#include "sandbox/ITunesSearchProtocol.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <utility>

#include "base/Json.h"
#include "base/Value.h"
#include "sandbox/CoverPainter.h"
#include "sandbox/MusicCatalogue.h"
#include "sandbox/SandboxMedia.h"
#include "sandbox/SandboxRouter.h"

namespace mr::sandbox {
namespace {

constexpr const char* kJsonType = "text/javascript; charset=utf-8";
constexpr int kDefaultLimit = 50;
constexpr int kMaxLimit = 200;
// Music videos play the middle stream of the video site's set.
constexpr int kMusicVideoStream = 2;

SandboxResponse results(const std::vector<Value>& found) {
  Value body = Value::dictionary();
  body.set("resultCount", Value(static_cast<int64_t>(found.size())));
  body.set("results", Value(Array(found.begin(), found.end())));
  return SandboxResponse::withStatus(200, kJsonType, toJson(body));
}

// The store's refusal of a parameter's value.
SandboxResponse refusal(const SandboxRequest& request, const std::string& key) {
  Value body = Value::dictionary();
  body.set("errorMessage", Value("Invalid value(s) for key(s): [" + key + "]"));
  body.set("queryParameters", Value(request.parameters));
  return SandboxResponse::withStatus(400, kJsonType, toJson(body));
}

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

// "sigur-ros-live": the words of a name, for store addresses.
std::string slug(const std::string& name) {
  std::string out;
  for (const std::string& word : MusicCatalogue::searchWords(name)) {
    const bool ascii =
        std::all_of(word.begin(), word.end(), [](char c) { return (c & 0x80) == 0; });
    if (!ascii) continue;
    if (!out.empty()) out += '-';
    out += word;
  }
  return out.empty() ? "item" : out;
}

// A number written in letters only: "a" for 0, "ba" for 26.
std::string letters(int number) {
  std::string out;
  do {
    out.insert(out.begin(), static_cast<char>('a' + number % 26));
    number /= 26;
  } while (number > 0);
  return out;
}

struct Market {
  const char* country;
  const char* currency;
  double trackPrice;
  double collectionPrice;
};

Market marketFor(const std::string& country) {
  if (country == "jp") return {"JPN", "JPY", 250, 2000};
  if (country == "gb") return {"GBR", "GBP", 0.99, 7.99};
  if (country == "de" || country == "fr" || country == "it" || country == "es" || country == "nl") {
    return {"EUR", "EUR", 1.29, 9.99};
  }
  return {"USA", "USD", 1.29, 9.99};
}

class Writer {
 public:
  Writer(const MusicCatalogue& catalogue, const SandboxRequest& request, const Market& market)
      : catalogue_(catalogue), base_(request.baseUrl), market_(market) {}

  Value artist(const CatalogueArtist& artist) const {
    const auto [genre, genreId] = MusicCatalogue::storeGenre(artist.tags.front());
    Value result = Value::dictionary();
    result.set("wrapperType", Value("artist"));
    result.set("artistType", Value("Artist"));
    result.set("artistName", Value(artist.name));
    result.set("artistLinkUrl", Value(artistUrl(artist)));
    result.set("artistId", Value(artist.storeArtistId));
    result.set("primaryGenreName", Value(genre));
    result.set("primaryGenreId", Value(genreId));
    return result;
  }

  Value collection(const CatalogueAlbum& album) const {
    const CatalogueArtist& artist = catalogue_.artists()[static_cast<size_t>(album.artist)];
    const auto [genre, genreId] = MusicCatalogue::storeGenre(artist.tags.front());
    Value result = Value::dictionary();
    result.set("wrapperType", Value("collection"));
    result.set("collectionType", Value("Album"));
    result.set("artistId", Value(artist.storeArtistId));
    result.set("collectionId", Value(album.storeCollectionId));
    result.set("artistName", Value(artist.name));
    result.set("collectionName", Value(album.title));
    result.set("collectionCensoredName", Value(album.title));
    result.set("artistViewUrl", Value(artistUrl(artist)));
    result.set("collectionViewUrl", Value(albumUrl(album)));
    result.set("artworkUrl60", Value(artworkUrl(albumKey(album), 60)));
    result.set("artworkUrl100", Value(artworkUrl(albumKey(album), 100)));
    result.set("collectionPrice", Value(market_.collectionPrice));
    result.set("collectionExplicitness", Value("notExplicit"));
    result.set("trackCount", Value(static_cast<int64_t>(album.tracks.size())));
    result.set("copyright", Value("\u2117 " + album.releaseDate.substr(0, 4) + " " + artist.name));
    result.set("country", Value(market_.country));
    result.set("currency", Value(market_.currency));
    result.set("releaseDate", Value(album.releaseDate));
    result.set("primaryGenreName", Value(genre));
    result.set("primaryGenreId", Value(genreId));
    return result;
  }

  Value track(const CatalogueTrack& track) const {
    const CatalogueArtist& artist = catalogue_.artistOf(track);
    const CatalogueAlbum& album = catalogue_.albumOf(track);
    const auto [genre, genreId] = MusicCatalogue::storeGenre(artist.tags.front());
    const bool song = track.store == StoreListing::Song;
    const std::string key = song ? albumKey(album) : "v" + letters(track.index);
    Value result = Value::dictionary();
    result.set("wrapperType", Value("track"));
    result.set("kind", Value(song ? "song" : "music-video"));
    result.set("artistId", Value(artist.storeArtistId));
    if (song) result.set("collectionId", Value(album.storeCollectionId));
    result.set("trackId", Value(track.storeTrackId));
    result.set("artistName", Value(artist.name));
    if (song) result.set("collectionName", Value(album.title));
    result.set("trackName", Value(track.title));
    if (song) result.set("collectionCensoredName", Value(album.title));
    result.set("trackCensoredName", Value(track.title));
    result.set("artistViewUrl", Value(artistUrl(artist)));
    if (song) result.set("collectionViewUrl", Value(albumUrl(album)));
    result.set("trackViewUrl",
               Value(song ? albumUrl(album) + "&i=" + std::to_string(track.storeTrackId)
                          : base_ + "/itunes/music-video/" + slug(track.title) + "/id" +
                                std::to_string(track.storeTrackId) + "?uo=4"));
    result.set("previewUrl", Value(base_ + "/itunes/preview/" + std::to_string(track.storeTrackId) +
                                   (song ? ".m4a" : ".m4v")));
    result.set("artworkUrl30", Value(artworkUrl(key, 30)));
    result.set("artworkUrl60", Value(artworkUrl(key, 60)));
    result.set("artworkUrl100", Value(artworkUrl(key, 100)));
    if (song) result.set("collectionPrice", Value(market_.collectionPrice));
    result.set("trackPrice", Value(market_.trackPrice));
    result.set("releaseDate", Value(album.releaseDate));
    if (song) result.set("collectionExplicitness", Value("notExplicit"));
    result.set("trackExplicitness", Value("notExplicit"));
    if (song) {
      result.set("discCount", Value(1));
      result.set("discNumber", Value(1));
      result.set("trackCount", Value(static_cast<int64_t>(album.tracks.size())));
      result.set("trackNumber", Value(track.trackNumber));
    }
    result.set("trackTimeMillis", Value(track.durationMs));
    result.set("country", Value(market_.country));
    result.set("currency", Value(market_.currency));
    result.set("primaryGenreName", Value(genre));
    result.set("primaryGenreId", Value(genreId));
    if (song) result.set("isStreamable", Value(true));
    return result;
  }

 private:
  static std::string albumKey(const CatalogueAlbum& album) { return "c" + letters(album.index); }
  std::string artworkUrl(const std::string& key, int side) const {
    const std::string size = std::to_string(side);
    return base_ + "/itunes/artwork/" + key + "/" + size + "x" + size + "bb.png";
  }
  std::string artistUrl(const CatalogueArtist& artist) const {
    return base_ + "/itunes/artist/" + slug(artist.name) + "/id" +
           std::to_string(artist.storeArtistId) + "?uo=4";
  }
  std::string albumUrl(const CatalogueAlbum& album) const {
    return base_ + "/itunes/album/" + slug(album.title) + "/id" +
           std::to_string(album.storeCollectionId) + "?uo=4";
  }

  const MusicCatalogue& catalogue_;
  std::string base_;
  Market market_;
};

// The 2-letter country, "us" when absent; nullopt for one the store refuses.
std::optional<std::string> country(const SandboxRequest& request) {
  const std::string text = lowerAscii(request.text("country").value_or(""));
  if (text.empty()) return std::string("us");
  if (text.size() != 2 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
    return std::nullopt;
  }
  return text;
}

int limitOf(const SandboxRequest& request) {
  const auto text = request.text("limit");
  if (!text) return kDefaultLimit;
  int value = 0;
  const auto parsed = std::from_chars(text->data(), text->data() + text->size(), value);
  if (parsed.ec != std::errc() || value <= 0) return kDefaultLimit;
  return std::min(value, kMaxLimit);
}

enum class Entity { Song, MusicArtist, Album, MusicVideo, None };

std::optional<Entity> entityOf(const SandboxRequest& request, Entity fallback) {
  const auto text = request.text("entity");
  if (!text || text->empty()) return fallback;
  if (*text == "song" || *text == "musicTrack") return Entity::Song;
  if (*text == "musicArtist") return Entity::MusicArtist;
  if (*text == "album") return Entity::Album;
  if (*text == "musicVideo") return Entity::MusicVideo;
  return std::nullopt;
}

void add(std::unordered_map<std::string, std::vector<int>>& index, const std::string& text,
         int item) {
  for (const std::string& word : MusicCatalogue::searchWords(text)) {
    std::vector<int>& items = index[word];
    if (items.empty() || items.back() != item) items.push_back(item);
  }
}

}  // namespace

ITunesSearchProtocol::ITunesSearchProtocol(const MusicCatalogue& catalogue, SandboxMedia& media)
    : catalogue_(catalogue), media_(media) {
  for (const CatalogueTrack& track : catalogue.tracks()) {
    if (track.store == StoreListing::None) continue;
    add(trackWords_,
        catalogue.artistOf(track).name + " " + track.title + " " + catalogue.albumOf(track).title,
        track.index);
  }
  for (const CatalogueArtist& artist : catalogue.artists()) {
    if (artist.storeArtistId != 0) add(artistWords_, artist.name, artist.index);
  }
  for (const CatalogueAlbum& album : catalogue.albums()) {
    if (album.storeCollectionId == 0) continue;
    add(albumWords_,
        catalogue.artists()[static_cast<size_t>(album.artist)].name + " " + album.title,
        album.index);
  }
}

std::vector<int> ITunesSearchProtocol::matching(const WordIndex& index, const std::string& term) {
  std::vector<std::string> words = MusicCatalogue::searchWords(term);
  if (words.empty()) return {};
  std::vector<int> found;
  bool first = true;
  for (const std::string& word : std::set<std::string>(words.begin(), words.end())) {
    const auto hit = index.find(word);
    if (hit == index.end()) return {};
    if (first) {
      found = hit->second;
      first = false;
      continue;
    }
    std::vector<int> both;
    std::set_intersection(found.begin(), found.end(), hit->second.begin(), hit->second.end(),
                          std::back_inserter(both));
    found = std::move(both);
  }
  return found;
}

SandboxResponse ITunesSearchProtocol::search(const SandboxRequest& request) const {
  const auto market = country(request);
  if (!market) return refusal(request, "country");
  const auto entity = entityOf(request, Entity::Song);
  if (!entity) return refusal(request, "resultEntity");
  const std::string term = request.text("term").value_or("");
  const size_t limit = static_cast<size_t>(limitOf(request));
  const Writer writer(catalogue_, request, marketFor(*market));
  std::vector<Value> found;
  if (*entity == Entity::MusicArtist) {
    std::vector<int> artists = matching(artistWords_, term);
    std::stable_sort(artists.begin(), artists.end(), [this](int a, int b) {
      return catalogue_.artists()[static_cast<size_t>(a)].listeners >
             catalogue_.artists()[static_cast<size_t>(b)].listeners;
    });
    for (size_t i = 0; i < std::min(limit, artists.size()); ++i)
      found.push_back(writer.artist(catalogue_.artists()[static_cast<size_t>(artists[i])]));
  } else if (*entity == Entity::Album) {
    std::vector<int> albums = matching(albumWords_, term);
    std::stable_sort(albums.begin(), albums.end(), [this](int a, int b) {
      const auto& artists = catalogue_.artists();
      return artists[static_cast<size_t>(catalogue_.albums()[static_cast<size_t>(a)].artist)]
                 .listeners >
             artists[static_cast<size_t>(catalogue_.albums()[static_cast<size_t>(b)].artist)]
                 .listeners;
    });
    for (size_t i = 0; i < std::min(limit, albums.size()); ++i)
      found.push_back(writer.collection(catalogue_.albums()[static_cast<size_t>(albums[i])]));
  } else {
    std::vector<int> tracks = matching(trackWords_, term);
    if (*entity == Entity::MusicVideo) {
      std::erase_if(tracks, [this](int t) {
        return catalogue_.tracks()[static_cast<size_t>(t)].store != StoreListing::MusicVideoOnly;
      });
    }
    std::stable_sort(tracks.begin(), tracks.end(), [this](int a, int b) {
      return catalogue_.tracks()[static_cast<size_t>(a)].playcount >
             catalogue_.tracks()[static_cast<size_t>(b)].playcount;
    });
    for (size_t i = 0; i < std::min(limit, tracks.size()); ++i)
      found.push_back(writer.track(catalogue_.tracks()[static_cast<size_t>(tracks[i])]));
  }
  return results(found);
}

SandboxResponse ITunesSearchProtocol::lookup(const SandboxRequest& request) const {
  const auto market = country(request);
  if (!market) return refusal(request, "country");
  const auto entity = entityOf(request, Entity::None);
  if (!entity) return refusal(request, "entity");
  std::vector<int64_t> ids;
  const std::string idList = request.text("id").value_or("");
  for (size_t start = 0; start < idList.size();) {
    size_t end = idList.find(',', start);
    if (end == std::string::npos) end = idList.size();
    int64_t id = 0;
    const auto parsed = std::from_chars(idList.data() + start, idList.data() + end, id);
    if (parsed.ec != std::errc() || parsed.ptr != idList.data() + end || id <= 0)
      return refusal(request, "id");
    ids.push_back(id);
    start = end + 1;
  }
  const size_t limit = static_cast<size_t>(limitOf(request));
  const bool recent = request.text("sort").value_or("") == "recent";
  const Writer writer(catalogue_, request, marketFor(*market));
  const auto& artists = catalogue_.artists();
  const auto& albums = catalogue_.albums();
  const auto& tracks = catalogue_.tracks();
  auto within = [](int64_t id, int64_t base, size_t count) {
    return id >= base && id < base + static_cast<int64_t>(count);
  };
  std::vector<Value> found;
  for (const int64_t id : ids) {
    if (within(id, 271000000, artists.size())) {
      const CatalogueArtist& artist = artists[static_cast<size_t>(id - 271000000)];
      if (artist.storeArtistId != id) continue;
      found.push_back(writer.artist(artist));
      if (*entity == Entity::Album) {
        std::vector<const CatalogueAlbum*> listed;
        for (int a : artist.albums) {
          if (albums[static_cast<size_t>(a)].storeCollectionId != 0)
            listed.push_back(&albums[static_cast<size_t>(a)]);
        }
        if (recent) {
          std::stable_sort(listed.begin(), listed.end(), [](const auto* a, const auto* b) {
            return a->releaseDate > b->releaseDate;
          });
        }
        for (size_t i = 0; i < std::min(limit, listed.size()); ++i)
          found.push_back(writer.collection(*listed[i]));
      } else if (*entity == Entity::Song || *entity == Entity::MusicVideo) {
        const StoreListing wanted =
            *entity == Entity::Song ? StoreListing::Song : StoreListing::MusicVideoOnly;
        size_t added = 0;
        for (int t : artist.tracks) {
          if (added == limit) break;
          if (tracks[static_cast<size_t>(t)].store != wanted) continue;
          found.push_back(writer.track(tracks[static_cast<size_t>(t)]));
          ++added;
        }
      }
    } else if (within(id, 540000000, albums.size())) {
      const CatalogueAlbum& album = albums[static_cast<size_t>(id - 540000000)];
      if (album.storeCollectionId != id) continue;
      found.push_back(writer.collection(album));
      if (*entity == Entity::Song) {
        size_t added = 0;
        for (int t : album.tracks) {
          if (added == limit) break;
          if (tracks[static_cast<size_t>(t)].store != StoreListing::Song) continue;
          found.push_back(writer.track(tracks[static_cast<size_t>(t)]));
          ++added;
        }
      }
    } else if (within(id, 810000000, tracks.size())) {
      const CatalogueTrack& track = tracks[static_cast<size_t>(id - 810000000)];
      if (track.storeTrackId == id) found.push_back(writer.track(track));
    }
  }
  return results(found);
}

SandboxResponse ITunesSearchProtocol::preview(const SandboxRequest& request) const {
  int64_t id = 0;
  const std::string& text = request.captures.at(0);
  std::from_chars(text.data(), text.data() + text.size(), id);
  const bool video = request.captures.at(1) == "m4v";
  const auto& tracks = catalogue_.tracks();
  const int64_t index = id - 810000000;
  if (index < 0 || index >= static_cast<int64_t>(tracks.size()) ||
      tracks[static_cast<size_t>(index)].storeTrackId != id ||
      (tracks[static_cast<size_t>(index)].store == StoreListing::MusicVideoOnly) != video) {
    return SandboxResponse::html(404, "Not Found", "<p>No such preview.</p>");
  }
  const CatalogueTrack& track = tracks[static_cast<size_t>(index)];
  auto bytes = video ? media_.stream(kMusicVideoStream) : media_.preview(track.preview);
  if (!bytes.ok()) {
    return SandboxResponse::withStatus(500, "text/plain; charset=utf-8",
                                       bytes.error().description() + "\n");
  }
  return SandboxResponse::media(video ? "video/mp4" : "audio/mp4", **bytes);
}

void ITunesSearchProtocol::registerRoutes(SandboxRouter& router) {
  router.get("/search", Signing::None,
             [this](const SandboxRequest& request) { return search(request); });
  router.get("/lookup", Signing::None,
             [this](const SandboxRequest& request) { return lookup(request); });
  router.get("/itunes/preview/([0-9]{1,12})\\.(m4a|m4v)", Signing::None,
             [this](const SandboxRequest& request) { return preview(request); });
  router.get("/itunes/artwork/([cv][a-z]{1,6})/([0-9]{1,4})x([0-9]{1,4})bb\\.png", Signing::None,
             [](const SandboxRequest& request) {
               const std::string& key = request.captures.at(0);
               uint64_t subject = key[0] == 'c' ? 0x3000000U : 0x4000000U;
               for (size_t i = 1; i < key.size(); ++i)
                 subject = subject * 26 + static_cast<uint64_t>(key[i] - 'a');
               std::string png = CoverPainter::paint(subject, std::stoi(request.captures.at(1)),
                                                     std::stoi(request.captures.at(2)));
               if (png.empty())
                 return SandboxResponse::html(404, "Not Found", "<p>No such size.</p>");
               return SandboxResponse::png(std::move(png));
             });
  router.get("/itunes/(album|artist|music-video)/([^/]+)/id([0-9]+)", Signing::None,
             [](const SandboxRequest& request) {
               return SandboxResponse::html(200, request.captures.at(1), "<p>In the store.</p>");
             });
}

}  // namespace mr::sandbox
