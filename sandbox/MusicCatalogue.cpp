#include "sandbox/MusicCatalogue.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <tuple>
#include <unordered_set>

namespace mr::sandbox {
namespace {

// SplitMix64: tiny, fast and the same on every platform (unlike the
// standard library's distributions), so a seed names one catalogue.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}

  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n); 0 when n is not positive.
  int below(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<uint64_t>(n)); }
  int between(int low, int high) { return low + below(high - low + 1); }
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  bool chance(double probability) { return unit() < probability; }
  template <class T>
  const T& pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(below(static_cast<int>(items.size())))];
  }

 private:
  uint64_t state_;
};

// A seed for one part of the catalogue, so that parts do not disturb each
// other and an item's lazy lists depend on nothing but the seed and the item.
uint64_t derive(uint64_t seed, uint64_t part, uint64_t item = 0) {
  Rng rng(seed ^ (part * 0xD1B54A32D192ED03ULL) ^ (item * 0x8CB92BA72F3D8DD7ULL));
  rng.next();
  return rng.next();
}

enum Part : uint64_t {
  kArtistPart = 1,
  kSimilarPart,
  kTrackPart,
  kBioPart,
  kVideoPart,
  kSimilarTrackPart,
  kCommentPart,
  kLibraryPart,
};

const std::vector<std::string> kOnsets = {
    "b", "br", "c",  "ch", "d", "dr", "f",  "fl", "g",  "gl", "h",  "j",  "k", "kl", "l", "m",
    "n", "p",  "pl", "r",  "s", "sh", "sk", "sl", "st", "t",  "th", "tr", "v", "w",  "z"};
const std::vector<std::string> kVowels = {"a", "e",  "i",  "o",  "u",  "a", "e",
                                          "o", "ai", "ei", "ou", "ia", "y"};
const std::vector<std::string> kCodas = {"", "", "", "", "n", "r", "l", "s", "m", "th", "x", "nd"};
const std::vector<std::string> kKana = {"ア", "カ", "サ", "タ", "ナ", "ハ", "マ", "ラ", "ミ", "リ",
                                        "キ", "シ", "ユ", "ヨ", "ソ", "コ", "ネ", "ル", "レ", "ト"};
const std::vector<std::string> kNouns = {
    "Lantern", "Harbour", "River",  "Echo",      "Signal",  "Garden",  "Mirror", "Ocean",
    "Ember",   "Feather", "Comet",  "Orchid",    "Thunder", "Meadow",  "Shadow", "Crystal",
    "Summer",  "Island",  "Canyon", "Satellite", "Willow",  "Paper",   "Raven",  "Tiger",
    "Horizon", "Pilot",   "Engine", "Parade",    "Circus",  "Window",  "Wave",   "Fox",
    "Anchor",  "Falcon",  "Lotus",  "Prism",     "Rocket",  "Sparrow", "Violet", "Atlas"};
const std::vector<std::string> kAdjectives = {
    "Silver",  "Golden",   "Blue",   "Quiet",   "Electric", "Wild",   "Hollow",
    "Crimson", "Lonely",   "Bright", "Distant", "Velvet",   "Broken", "Northern",
    "Secret",  "Midnight", "Little", "Glass",   "Neon",     "Gentle", "Burning"};
const std::vector<std::string> kPhrases = {
    "Falling Slowly", "Hold On",       "Don't Let Go",  "Run Away",      "Come Home",
    "Stay Awake",     "Let It Burn",   "Say Nothing",   "Dancing Alone", "Waiting for You",
    "Never Again",    "Breathe Out",   "Carry Me Home", "Lights Out",    "Into the Blue",
    "All We Have",    "Where You Are", "Nothing Left",  "Over and Over", "Take It Slow"};
const std::vector<std::string> kAccented = {"Café",    "Niño",     "Façade",  "Déjà Vu", "Naïve",
                                            "Fiancée", "Jalapeño", "Smörgås", "Señora",  "Crème"};
const std::vector<std::string> kEndings = {"Song", "Lullaby", "Lament", "Dream", "Waltz"};

struct Place {
  const char* english;
  const char* japanese;
};
const std::vector<Place> kPlaces = {{"Reykjavík, Iceland", "アイスランドのレイキャビク"},
                                    {"Osaka, Japan", "大阪"},
                                    {"Manchester, England", "イギリスのマンチェスター"},
                                    {"Montréal, Canada", "カナダのモントリオール"},
                                    {"Melbourne, Australia", "オーストラリアのメルボルン"},
                                    {"Austin, Texas", "テキサス州オースティン"},
                                    {"Berlin, Germany", "ドイツのベルリン"},
                                    {"Gothenburg, Sweden", "スウェーデンのヨーテボリ"},
                                    {"Lyon, France", "フランスのリヨン"},
                                    {"Seoul, South Korea", "韓国のソウル"},
                                    {"Bristol, England", "イギリスのブリストル"},
                                    {"Portland, Oregon", "オレゴン州ポートランド"},
                                    {"Bergen, Norway", "ノルウェーのベルゲン"},
                                    {"Dublin, Ireland", "アイルランドのダブリン"},
                                    {"Tokyo, Japan", "東京"},
                                    {"São Paulo, Brazil", "ブラジルのサンパウロ"}};

struct TagInfo {
  const char* name;
  const char* japanese;
  const char* storeGenre;
  int storeGenreId;
  std::array<const char*, 3> related;
};
// The main genres first; "japanese" and the last four are only added tags
// (except for artists written in kana, whose first tag is "japanese").
const std::vector<TagInfo> kTags = {
    {"rock", "ロック", "Rock", 21, {"indie", "punk", "blues"}},
    {"pop", "ポップ", "Pop", 14, {"dance", "female vocalists", "soul"}},
    {"electronic", "エレクトロニック", "Electronic", 7, {"ambient", "dance", "experimental"}},
    {"jazz", "ジャズ", "Jazz", 11, {"soul", "blues", "experimental"}},
    {"hip-hop", "ヒップホップ", "Hip-Hop/Rap", 18, {"soul", "electronic", "dance"}},
    {"indie", "インディー", "Alternative", 20, {"rock", "folk", "pop"}},
    {"folk", "フォーク", "Singer/Songwriter", 10, {"singer-songwriter", "country", "indie"}},
    {"soul", "ソウル", "R&B/Soul", 15, {"jazz", "pop", "female vocalists"}},
    {"metal", "メタル", "Metal", 1153, {"rock", "punk", "experimental"}},
    {"ambient", "アンビエント", "Electronic", 7, {"electronic", "experimental", "classical"}},
    {"punk", "パンク", "Alternative", 20, {"rock", "indie", "metal"}},
    {"blues", "ブルース", "Blues", 2, {"rock", "jazz", "soul"}},
    {"country", "カントリー", "Country", 6, {"folk", "singer-songwriter", "rock"}},
    {"classical", "クラシック", "Classical", 5, {"ambient", "experimental", "jazz"}},
    {"reggae", "レゲエ", "Reggae", 24, {"soul", "hip-hop", "dance"}},
    {"dance", "ダンス", "Dance", 17, {"electronic", "pop", "hip-hop"}},
    {"japanese", "J-POP", "J-Pop", 27, {"pop", "rock", "electronic"}},
    {"experimental", "実験音楽", "Alternative", 20, {"electronic", "ambient", "jazz"}},
    {"singer-songwriter",
     "シンガーソングライター",
     "Singer/Songwriter",
     10,
     {"folk", "pop", "indie"}},
    {"female vocalists", "女性ボーカル", "Pop", 14, {"pop", "soul", "indie"}},
};
constexpr int kMainGenres = 16;
constexpr int kJapaneseTag = 16;

int tagIndex(const std::string& name) {
  for (size_t i = 0; i < kTags.size(); ++i) {
    if (name == kTags[i].name) return static_cast<int>(i);
  }
  return 0;
}

const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string twoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

struct Moment {
  int year = 2010;
  int month = 1;  // 1-12
  int day = 1;    // 1-28: every month has it
  int hour = 0;
  int minute = 0;
  int second = 0;

  static Moment random(Rng& rng, int firstYear, int lastYear) {
    return {rng.between(firstYear, lastYear),
            rng.between(1, 12),
            rng.between(1, 28),
            rng.between(0, 23),
            rng.between(0, 59),
            rng.between(0, 59)};
  }
  std::string date() const {
    return std::to_string(year) + "-" + twoDigits(month) + "-" + twoDigits(day);
  }
  std::string time() const {
    return twoDigits(hour) + ":" + twoDigits(minute) + ":" + twoDigits(second);
  }
  // "2013-04-05T06:07:08.000Z"
  std::string feedStamp() const { return date() + "T" + time() + ".000Z"; }
  // "12 Mar 2011, 10:04"
  std::string bioStamp() const {
    return twoDigits(day) + " " + kMonths[month - 1] + " " + std::to_string(year) + ", " +
           twoDigits(hour) + ":" + twoDigits(minute);
  }
  bool operator<(const Moment& other) const {
    return std::tie(year, month, day, hour, minute, second) <
           std::tie(other.year, other.month, other.day, other.hour, other.minute, other.second);
  }
};

std::string capitalized(std::string word) {
  if (!word.empty() && word[0] >= 'a' && word[0] <= 'z') word[0] = static_cast<char>(word[0] - 32);
  return word;
}

std::string upperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return text;
}

std::string madeUpWord(Rng& rng, int syllables) {
  std::string word;
  for (int i = 0; i < syllables; ++i)
    word += rng.pick(kOnsets) + rng.pick(kVowels);
  word += rng.pick(kCodas);
  return capitalized(word);
}

std::string kanaWord(Rng& rng) {
  std::string word;
  const int length = rng.between(2, 4);
  for (int i = 0; i < length; ++i)
    word += rng.pick(kKana);
  return word;
}

// The word with one of its vowels accented, as in Nordic or French names.
std::string accented(Rng& rng, const std::string& word) {
  static const std::vector<std::pair<char, const char*>> kAccents = {
      {'a', "á"}, {'e', "é"}, {'o', "ó"}, {'o', "ö"}, {'u', "ü"}, {'i', "í"}, {'o', "ø"}};
  std::vector<size_t> vowels;
  for (size_t i = 0; i < word.size(); ++i) {
    for (const auto& [plain, mark] : kAccents) {
      if (word[i] == plain) vowels.push_back(i);
    }
  }
  if (vowels.empty()) return word;
  const size_t at = vowels[static_cast<size_t>(rng.below(static_cast<int>(vowels.size())))];
  std::vector<const char*> choices;
  for (const auto& [plain, mark] : kAccents) {
    if (plain == word[at]) choices.push_back(mark);
  }
  return word.substr(0, at) +
         choices[static_cast<size_t>(rng.below(static_cast<int>(choices.size())))] +
         word.substr(at + 1);
}

std::string plural(const std::string& noun) {
  if (noun.ends_with("x") || noun.ends_with("s")) return noun + "es";
  return noun + "s";
}

std::string personName(Rng& rng) {
  return madeUpWord(rng, rng.between(1, 2)) + " " + madeUpWord(rng, rng.between(2, 3));
}

std::string artistName(Rng& rng, bool& kana, bool& solo) {
  kana = false;
  solo = false;
  const double roll = rng.unit();
  if (roll < 0.30) return madeUpWord(rng, rng.between(2, 3));
  if (roll < 0.52) {
    solo = true;
    return personName(rng);
  }
  if (roll < 0.66) return "The " + plural(rng.pick(kNouns));
  if (roll < 0.80) {
    const std::string noun = rng.pick(kNouns);
    return rng.pick(kAdjectives) + " " + (rng.chance(0.5) ? plural(noun) : noun);
  }
  if (roll < 0.86) return madeUpWord(rng, 2) + " & The " + plural(rng.pick(kNouns));
  if (roll < 0.93) {
    solo = rng.chance(0.5);
    return solo ? accented(rng, madeUpWord(rng, 2)) + " " + accented(rng, madeUpWord(rng, 2))
                : accented(rng, madeUpWord(rng, 3));
  }
  if (roll < 0.97) {
    solo = true;
    return "DJ " + madeUpWord(rng, 2);
  }
  kana = true;
  return kanaWord(rng);
}

std::string trackTitle(Rng& rng, bool kana) {
  if (kana && rng.chance(0.5)) return kanaWord(rng);
  const double roll = rng.unit();
  if (roll < 0.25) return rng.pick(kAdjectives) + " " + rng.pick(kNouns);
  if (roll < 0.37) return rng.pick(kNouns) + " of " + plural(rng.pick(kNouns));
  if (roll < 0.47) return rng.chance(0.5) ? rng.pick(kNouns) : plural(rng.pick(kNouns));
  if (roll < 0.62) return rng.pick(kPhrases);
  if (roll < 0.67) {
    static const std::vector<std::string> kVersions = {" (Reprise)", " (Live)", " Part II",
                                                       " (Acoustic)"};
    return rng.pick(kAdjectives) + " " + rng.pick(kNouns) + rng.pick(kVersions);
  }
  if (roll < 0.75) return rng.pick(kNouns) + " & " + rng.pick(kNouns);
  if (roll < 0.80) return rng.pick(kAccented) + " " + rng.pick(kNouns);
  if (roll < 0.90) return madeUpWord(rng, rng.between(2, 3));
  if (roll < 0.95) return rng.pick(kNouns) + "'s " + rng.pick(kEndings);
  return rng.pick(kAdjectives) + " " + plural(rng.pick(kNouns));
}

std::string albumTitle(Rng& rng, const std::string& artist, bool first) {
  if (first && rng.chance(0.2)) return artist;
  const double roll = rng.unit();
  if (roll < 0.35) return rng.pick(kAdjectives) + " " + plural(rng.pick(kNouns));
  if (roll < 0.55) return madeUpWord(rng, rng.between(2, 3));
  if (roll < 0.70) return "The " + rng.pick(kNouns) + " " + rng.pick(kEndings) + "s";
  if (roll < 0.85) return rng.pick(kNouns) + " " + rng.pick(kNouns);
  const char* english = rng.pick(kPlaces).english;
  const std::string city(english, std::string_view(english).find(','));
  return "Live in " + city;
}

std::string uuid(Rng& rng) {
  static const char* kHex = "0123456789abcdef";
  std::string text;
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) text += '-';
    text += kHex[rng.below(16)];
  }
  return text;
}

std::string videoId(Rng& rng) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string id;
  for (int i = 0; i < 11; ++i)
    id += kAlphabet[rng.below(64)];
  return id;
}

bool containsFolded(const std::string& text, const std::string& part) {
  return MusicCatalogue::foldName(text).find(MusicCatalogue::foldName(part)) != std::string::npos;
}

const std::vector<std::string> kCommentTemplates = {
    "Love this song!",
    "This brings back memories of {year}.",
    "Who's still listening in {year}?",
    "{artist} never disappoints ♥",
    "The part at 1:{seconds} gives me chills",
    "Saw them live in {city}, amazing night.",
    "Best video ever",
    "Anyone else here from the radio?",
    "This deserves more views",
    "\"{title}\" is the reason I started playing guitar.",
    "I can't stop listening to this & I don't want to",
    "Found this through a friend who kept playing it on our long road trip last summer, so thank you {artist}!"};

std::string replaced(std::string text, std::string_view key, const std::string& value) {
  for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
    text.replace(at, key.size(), value);
  return text;
}

}  // namespace

MusicCatalogue::MusicCatalogue(uint64_t seed) : seed_(seed) {
  makeArtists();
  makeSimilarArtists();
  makeAlbumsAndTracks();
  makeBiographies();
  makeVideos();
}

const std::vector<std::string>& MusicCatalogue::tagNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    for (const TagInfo& tag : kTags)
      all.emplace_back(tag.name);
    return all;
  }();
  return names;
}

std::pair<std::string, int> MusicCatalogue::storeGenre(const std::string& tag) {
  const TagInfo& info = kTags[static_cast<size_t>(tagIndex(tag))];
  return {info.storeGenre, info.storeGenreId};
}

void MusicCatalogue::makeArtists() {
  Rng rng(derive(seed_, kArtistPart));
  artistsByTag_.assign(kTags.size(), {});
  std::unordered_set<std::string> taken;
  while (static_cast<int>(artists_.size()) < kArtistCount) {
    bool kana = false;
    bool solo = false;
    std::string name = artistName(rng, kana, solo);
    if (!taken.insert(foldName(name)).second) continue;
    CatalogueArtist artist;
    artist.index = static_cast<int>(artists_.size());
    artist.name = std::move(name);
    if (rng.chance(0.9)) artist.mbid = uuid(rng);
    const int main = kana ? kJapaneseTag : rng.below(kMainGenres);
    artist.tags.emplace_back(kTags[static_cast<size_t>(main)].name);
    const int extra = rng.between(0, 3);
    for (int i = 0; i < extra; ++i) {
      const std::string tag =
          rng.chance(0.6)
              ? kTags[static_cast<size_t>(main)].related[static_cast<size_t>(rng.below(3))]
              : kTags[static_cast<size_t>(rng.below(static_cast<int>(kTags.size())))].name;
      if (std::find(artist.tags.begin(), artist.tags.end(), tag) == artist.tags.end())
        artist.tags.push_back(tag);
    }
    if (solo && rng.chance(0.5) &&
        std::find(artist.tags.begin(), artist.tags.end(), "singer-songwriter") ==
            artist.tags.end() &&
        artist.tags.size() < 4) {
      artist.tags.emplace_back("singer-songwriter");
    }
    artist.hasImages = rng.chance(0.95);
    artist.hasMegaImage = artist.hasImages && rng.chance(0.93);
    const Place& place = kana ? kPlaces[rng.chance(0.5) ? 1 : 14] : rng.pick(kPlaces);
    artist.country = place.english;
    artist.formedYear = rng.between(1975, 2009);
    for (const std::string& tag : artist.tags)
      artistsByTag_[static_cast<size_t>(tagIndex(tag))].push_back(artist.index);
    artists_.push_back(std::move(artist));
  }
  // Popularity follows a long tail over a shuffled order.
  std::vector<int> order(artists_.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = static_cast<int>(i);
  for (size_t i = order.size() - 1; i > 0; --i)
    std::swap(order[i], order[static_cast<size_t>(rng.below(static_cast<int>(i) + 1))]);
  for (size_t rank = 0; rank < order.size(); ++rank) {
    CatalogueArtist& artist = artists_[static_cast<size_t>(order[rank])];
    artist.listeners =
        static_cast<int64_t>(2000000.0 / std::pow(static_cast<double>(rank) + 1, 0.9)) +
        rng.below(1000);
    artist.playcount = artist.listeners * rng.between(6, 25);
  }
  for (const CatalogueArtist& artist : artists_) {
    artistsByName_.emplace(artist.name, artist.index);
    artistsByFoldedName_.emplace(foldName(artist.name), artist.index);
    if (!artist.mbid.empty()) artistsByMbid_.emplace(artist.mbid, artist.index);
  }
}

void MusicCatalogue::makeSimilarArtists() {
  Rng rng(derive(seed_, kSimilarPart));
  for (CatalogueArtist& artist : artists_) {
    std::vector<std::pair<double, int>> scored;
    scored.reserve(artists_.size());
    for (const CatalogueArtist& other : artists_) {
      if (other.index == artist.index) continue;
      int shared = 0;
      for (const std::string& tag : other.tags) {
        if (std::find(artist.tags.begin(), artist.tags.end(), tag) != artist.tags.end()) ++shared;
      }
      // Sharing the main genre counts most; chance breaks the ties.
      const double score =
          shared * 2.0 + (other.tags.front() == artist.tags.front() ? 1.5 : 0.0) + rng.unit() * 1.5;
      scored.emplace_back(score, other.index);
    }
    const int count = rng.between(5, 10);
    std::partial_sort(scored.begin(), scored.begin() + count, scored.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    double match = 1.0;
    for (int i = 0; i < count; ++i) {
      artist.similar.emplace_back(scored[static_cast<size_t>(i)].second,
                                  std::round(match * 1e6) / 1e6);
      match -= 0.04 + rng.unit() * 0.08;
    }
  }
}

void MusicCatalogue::makeAlbumsAndTracks() {
  Rng rng(derive(seed_, kTrackPart));
  for (CatalogueArtist& artist : artists_) {
    const bool kana =
        artist.tags.front() == "japanese" && static_cast<unsigned char>(artist.name[0]) >= 0xE0;
    const int trackCount = rng.between(8, 15);
    const int albumCount = std::min(rng.between(2, 4), trackCount / 2);
    std::unordered_set<std::string> titles;
    std::vector<std::string> trackTitles;
    while (static_cast<int>(trackTitles.size()) < trackCount) {
      std::string title = trackTitle(rng, kana);
      if (titles.insert(foldName(title)).second) trackTitles.push_back(std::move(title));
    }
    // Albums take consecutive runs of tracks, at least two each.
    int year = std::max(artist.formedYear + 1, 1990);
    size_t nextTrack = 0;
    std::unordered_set<std::string> albumTitles;
    for (int a = 0; a < albumCount; ++a) {
      CatalogueAlbum album;
      album.index = static_cast<int>(albums_.size());
      album.artist = artist.index;
      do {
        album.title = albumTitle(rng, artist.name, a == 0);
      } while (!albumTitles.insert(foldName(album.title)).second);
      const int left = trackCount - static_cast<int>(nextTrack);
      const int size =
          a == albumCount - 1 ? left : rng.between(2, std::max(2, left - 2 * (albumCount - a - 1)));
      year = std::min(2013, year + rng.between(1, 4));
      album.releaseDate = std::to_string(year) + "-" + twoDigits(rng.between(1, 12)) + "-" +
                          twoDigits(rng.between(1, 28)) +
                          (rng.chance(0.5) ? "T07:00:00Z" : "T08:00:00Z");
      for (int t = 0; t < size; ++t) {
        CatalogueTrack track;
        track.index = static_cast<int>(tracks_.size());
        track.artist = artist.index;
        track.album = album.index;
        track.trackNumber = t + 1;
        track.title = trackTitles[nextTrack++];
        if (rng.chance(0.8)) track.mbid = uuid(rng);
        track.durationMs = rng.between(150, 330) * 1000;
        const double roll = rng.unit();
        track.store = roll < 0.85   ? StoreListing::Song
                      : roll < 0.90 ? StoreListing::MusicVideoOnly
                                    : StoreListing::None;
        if (track.store != StoreListing::None) track.storeTrackId = 810000000 + track.index;
        track.preview = rng.below(kPreviewFiles);
        album.tracks.push_back(track.index);
        artist.tracks.push_back(track.index);
        tracks_.push_back(std::move(track));
      }
      artist.albums.push_back(album.index);
      albums_.push_back(std::move(album));
    }
    // A shuffled popularity order over the artist's tracks.
    std::vector<int>& order = artist.tracks;
    for (size_t i = order.size() - 1; i > 0; --i)
      std::swap(order[i], order[static_cast<size_t>(rng.below(static_cast<int>(i) + 1))]);
    for (size_t rank = 0; rank < order.size(); ++rank) {
      CatalogueTrack& track = tracks_[static_cast<size_t>(order[rank])];
      track.playcount = static_cast<int64_t>(static_cast<double>(artist.playcount) * 0.3 /
                                             std::pow(static_cast<double>(rank) + 1, 1.2)) +
                        rng.below(100);
      track.listeners = track.playcount / rng.between(3, 8) + 1;
    }
    bool listed = false;
    for (int index : artist.tracks) {
      const CatalogueTrack& track = tracks_[static_cast<size_t>(index)];
      if (track.store != StoreListing::None) listed = true;
      if (track.store == StoreListing::Song)
        albums_[static_cast<size_t>(track.album)].storeCollectionId = 540000000 + track.album;
    }
    if (listed) artist.storeArtistId = 271000000 + artist.index;
  }
  for (const CatalogueTrack& track : tracks_) {
    if (!track.mbid.empty()) tracksByMbid_.emplace(track.mbid, track.index);
  }
}

void MusicCatalogue::makeBiographies() {
  Rng rng(derive(seed_, kBioPart));
  for (CatalogueArtist& artist : artists_) {
    const Moment published = Moment::random(rng, 2008, 2013);
    if (!rng.chance(0.95)) continue;  // a few have no biography
    const TagInfo& genre = kTags[static_cast<size_t>(tagIndex(artist.tags.front()))];
    const bool solo = artist.tags.end() != std::find(artist.tags.begin(), artist.tags.end(),
                                                     std::string("singer-songwriter")) ||
                      artist.name.starts_with("DJ ");
    const std::string act = solo ? (artist.name.starts_with("DJ ") ? "producer" : "musician")
                                 : (rng.chance(0.7) ? "band" : "duo");
    const char* actJapanese = solo ? "アーティスト" : (act == "band" ? "バンド" : "デュオ");
    const Place* place = &kPlaces[0];
    for (const Place& candidate : kPlaces) {
      if (artist.country == candidate.english) place = &candidate;
    }
    const std::string first = albums_[static_cast<size_t>(artist.albums.front())].title;
    const std::string firstYear =
        albums_[static_cast<size_t>(artist.albums.front())].releaseDate.substr(0, 4);
    const std::string& similar = artists_[static_cast<size_t>(artist.similar.front().first)].name;
    const std::string& similar2 = artists_[static_cast<size_t>(artist.similar[1].first)].name;
    const bool vowel = std::string_view("aeiou").find(genre.name[0]) != std::string_view::npos;

    CatalogueBio& english = artist.englishBio;
    english.published = published.bioStamp();
    english.summary = artist.name + " is " + (vowel ? "an " : "a ") + genre.name + " " + act +
                      " from " + place->english + ", " + (solo ? "active since " : "formed in ") +
                      std::to_string(artist.formedYear) + ". Their first album, \"" + first +
                      "\", came out in " + firstYear + ".";
    english.content = english.summary + "\n\nOver the years " + artist.name +
                      " has shared stages with " + similar + " and " + similar2 +
                      ", and their sound is often filed under " + artist.tags.back() + ".";

    CatalogueBio& japanese = artist.japaneseBio;
    japanese.published = published.bioStamp();
    japanese.summary = artist.name + "は" + place->japanese + "出身の" + genre.japanese +
                       actJapanese + "。" + std::to_string(artist.formedYear) + "年から活動。" +
                       "ファーストアルバム「" + first + "」は" + firstYear + "年に発表された。";
    japanese.content =
        japanese.summary + "\n\n" + similar + "や" + similar2 + "との共演でも知られる。";
  }
}

void MusicCatalogue::makeVideos() {
  std::unordered_set<std::string> ids;
  auto addVideo = [&](CatalogueVideo video, Rng& rng) {
    do {
      video.id = videoId(rng);
    } while (!ids.insert(video.id).second);
    video.index = static_cast<int>(videos_.size());
    videosById_.emplace(video.id, video.index);
    videos_.push_back(std::move(video));
    return static_cast<int>(videos_.size()) - 1;
  };
  for (CatalogueTrack& track : tracks_) {
    Rng rng(derive(seed_, kVideoPart, static_cast<uint64_t>(track.index)));
    const CatalogueArtist& artist = artists_[static_cast<size_t>(track.artist)];
    const CatalogueAlbum& album = albums_[static_cast<size_t>(track.album)];
    const std::string& a = artist.name;
    const std::string& t = track.title;
    auto base = [&](VideoKind kind) {
      CatalogueVideo video;
      video.track = track.index;
      video.kind = kind;
      const Moment published = Moment::random(rng, 2008, 2013);
      video.published = published.feedStamp();
      video.durationSeconds = track.durationMs / 1000 + rng.between(-5, 20);
      video.commentCount = rng.chance(0.2) ? 0 : rng.between(1, 40);
      video.streamCount = rng.between(1, 4);
      video.blanklessMarker = rng.chance(0.25);
      return video;
    };

    int64_t musicVideoViews = 0;
    if (rng.chance(0.6)) {
      CatalogueVideo video = base(VideoKind::MusicVideo);
      video.category = rng.chance(0.9) ? "Music" : "Entertainment";
      const double roll = rng.unit();
      if (roll < 0.35) {
        video.title = a + " - " + t;
      } else if (roll < 0.65) {
        video.title = a + " - " + t + " (Official Video)";
      } else if (roll < 0.80) {
        video.title = t + " [Official Music Video]";  // the artist only below
      } else if (roll < 0.90) {
        video.title = upperAscii(a + " - " + t);
      } else {
        video.title = t + " / " + a + " (Live)";
      }
      video.description = "Music video by " + a + " performing " + t + ". From the album \"" +
                          album.title + "\".\n(C) " + album.releaseDate.substr(0, 4) + " " +
                          madeUpWord(rng, 2) + " Records";
      video.keywords = a + ", " + t + ", " + artist.tags.front() + ", music video, official";
      video.author = rng.chance(0.5) ? a : madeUpWord(rng, 2) + "VEVO";
      video.restricted = rng.chance(0.05);
      if (video.restricted) video.streamCount = 0;
      video.viewCount = track.playcount * rng.between(5, 30) / 10 + rng.below(1000);
      video.favoriteCount = video.viewCount / rng.between(80, 400);
      musicVideoViews = video.viewCount;
      track.musicVideo = addVideo(std::move(video), rng);
    }
    if (rng.chance(0.1)) {
      CatalogueVideo video = base(VideoKind::Parody);
      video.category = "Comedy";
      video.title = t + " - " + a + " (Parody)";
      video.description = "What if \"" + t + "\" by " + a + " was about cats? Subscribe for more!";
      video.keywords = "parody, funny, " + a + ", " + t + ", comedy";
      video.author = madeUpWord(rng, 2) + std::to_string(rng.between(10, 99));
      // Half the parodies are seen more than the real thing, and come first.
      video.viewCount =
          rng.chance(0.5) && musicVideoViews > 0
              ? musicVideoViews * rng.between(2, 4)
              : std::max<int64_t>(1, musicVideoViews / rng.between(5, 20)) + rng.below(5000);
      video.favoriteCount = video.viewCount / rng.between(50, 300);
      addVideo(std::move(video), rng);
    }
    if (rng.chance(0.08)) {
      CatalogueVideo video = base(VideoKind::Cover);
      video.category = "Music";
      const std::string coverer = personName(rng);
      video.title = t + " (cover by " + coverer + ")";
      video.description = "My acoustic cover of \"" + t + "\". Hope you like it!";
      video.keywords = t + ", cover, acoustic, " + coverer;
      video.author = coverer;
      video.viewCount = rng.between(100, 50000);
      video.favoriteCount = video.viewCount / rng.between(20, 100);
      const std::string text = video.title + " " + video.keywords + " " + video.description;
      if (!containsFolded(text, a)) addVideo(std::move(video), rng);
    }
    if (rng.chance(0.05)) {
      CatalogueVideo video = base(VideoKind::Interview);
      video.category = "Entertainment";
      video.title = a + " interview (" + album.releaseDate.substr(0, 4) + ")";
      video.description = "We talked to " + a + " about the new album and life on tour.";
      video.keywords = a + ", interview, backstage";
      video.author = madeUpWord(rng, 2) + " TV";
      video.viewCount = rng.between(1000, 200000);
      video.favoriteCount = video.viewCount / rng.between(50, 300);
      const std::string text = video.title + " " + video.keywords + " " + video.description;
      if (!containsFolded(text, t)) addVideo(std::move(video), rng);
    }
  }
}

const CatalogueArtist* MusicCatalogue::findArtist(std::string_view name, bool ignoreCase) const {
  const auto& index = ignoreCase ? artistsByFoldedName_ : artistsByName_;
  const auto found = index.find(ignoreCase ? foldName(name) : std::string(name));
  return found == index.end() ? nullptr : &artists_[static_cast<size_t>(found->second)];
}

const CatalogueArtist* MusicCatalogue::findArtistByMbid(std::string_view mbid) const {
  const auto found = artistsByMbid_.find(std::string(mbid));
  return found == artistsByMbid_.end() ? nullptr : &artists_[static_cast<size_t>(found->second)];
}

const CatalogueTrack* MusicCatalogue::findTrack(const CatalogueArtist& artist,
                                                std::string_view title, bool ignoreCase) const {
  const std::string wanted = ignoreCase ? foldName(title) : std::string(title);
  for (int index : artist.tracks) {
    const CatalogueTrack& track = tracks_[static_cast<size_t>(index)];
    if ((ignoreCase ? foldName(track.title) : track.title) == wanted) return &track;
  }
  return nullptr;
}

const CatalogueTrack* MusicCatalogue::findTrackByMbid(std::string_view mbid) const {
  const auto found = tracksByMbid_.find(std::string(mbid));
  return found == tracksByMbid_.end() ? nullptr : &tracks_[static_cast<size_t>(found->second)];
}

const CatalogueVideo* MusicCatalogue::findVideo(std::string_view id) const {
  const auto found = videosById_.find(std::string(id));
  return found == videosById_.end() ? nullptr : &videos_[static_cast<size_t>(found->second)];
}

std::vector<std::pair<int, double>> MusicCatalogue::similarTracks(int trackIndex) const {
  if (trackIndex < 0 || trackIndex >= static_cast<int>(tracks_.size())) return {};
  Rng rng(derive(seed_, kSimilarTrackPart, static_cast<uint64_t>(trackIndex)));
  const CatalogueTrack& track = tracks_[static_cast<size_t>(trackIndex)];
  const CatalogueArtist& artist = artists_[static_cast<size_t>(track.artist)];
  const int count = rng.between(20, 50);

  std::vector<std::pair<double, int>> candidates;
  std::unordered_set<int> seen;
  auto consider = [&](int candidate, double score) {
    if (tracks_[static_cast<size_t>(candidate)].artist == artist.index) return;
    if (seen.insert(candidate).second) candidates.emplace_back(score, candidate);
  };
  for (const auto& [similar, match] : artist.similar) {
    const auto& theirs = artists_[static_cast<size_t>(similar)].tracks;
    for (size_t rank = 0; rank < theirs.size(); ++rank) {
      consider(theirs[rank],
               match * (1.0 - 0.04 * static_cast<double>(rank)) * (0.8 + 0.4 * rng.unit()));
    }
  }
  // Tracks of other artists of the same genre make up the tail.
  const auto& sameGenre = artistsByTag_[static_cast<size_t>(tagIndex(artist.tags.front()))];
  for (int i = 0; i < 60 && !sameGenre.empty(); ++i) {
    const auto& theirs = artists_[static_cast<size_t>(rng.pick(sameGenre))].tracks;
    consider(rng.pick(theirs), 0.25 * rng.unit());
  }
  while (static_cast<int>(candidates.size()) < count) {
    consider(rng.below(static_cast<int>(tracks_.size())), 0.05 * rng.unit());
  }
  std::partial_sort(candidates.begin(), candidates.begin() + count, candidates.end(),
                    [](const auto& a, const auto& b) {
                      return a.first != b.first ? a.first > b.first : a.second < b.second;
                    });
  std::vector<std::pair<int, double>> similar;
  similar.reserve(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    const double match =
        k == 0 ? 1.0 : std::pow(1.0 - static_cast<double>(k) / count, 1.5) * 0.95 + 0.01;
    similar.emplace_back(candidates[static_cast<size_t>(k)].second, std::round(match * 1e6) / 1e6);
  }
  return similar;
}

std::vector<CatalogueComment> MusicCatalogue::comments(int videoIndex) const {
  if (videoIndex < 0 || videoIndex >= static_cast<int>(videos_.size())) return {};
  const CatalogueVideo& video = videos_[static_cast<size_t>(videoIndex)];
  const CatalogueTrack& track = tracks_[static_cast<size_t>(video.track)];
  const CatalogueArtist& artist = artists_[static_cast<size_t>(track.artist)];
  Rng rng(derive(seed_, kCommentPart, static_cast<uint64_t>(videoIndex)));
  const int firstYear = std::stoi(video.published.substr(0, 4));
  std::vector<std::pair<Moment, CatalogueComment>> made;
  for (int i = 0; i < video.commentCount; ++i) {
    const Moment when = Moment::random(rng, firstYear, 2013);
    std::string text = rng.pick(kCommentTemplates);
    text = replaced(text, "{year}", std::to_string(when.year));
    text = replaced(text, "{artist}", artist.name);
    text = replaced(text, "{title}", track.title);
    text = replaced(text, "{seconds}", twoDigits(rng.between(0, 59)));
    const char* city = rng.pick(kPlaces).english;
    text = replaced(text, "{city}", std::string(city, std::string_view(city).find(',')));
    CatalogueComment comment;
    comment.author = madeUpWord(rng, 2) + std::to_string(rng.between(1, 999));
    comment.content = std::move(text);
    comment.published = when.feedStamp();
    made.emplace_back(when, std::move(comment));
  }
  std::stable_sort(made.begin(), made.end(),
                   [](const auto& a, const auto& b) { return b.first < a.first; });
  std::vector<CatalogueComment> comments;
  comments.reserve(made.size());
  for (auto& [when, comment] : made)
    comments.push_back(std::move(comment));
  return comments;
}

std::vector<LibraryTrack> MusicCatalogue::libraryTracks(int count) const {
  count = std::clamp(count, 0, static_cast<int>(tracks_.size()));
  Rng rng(derive(seed_, kLibraryPart));
  std::vector<int> order(artists_.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = static_cast<int>(i);
  for (size_t i = order.size() - 1; i > 0; --i)
    std::swap(order[i], order[static_cast<size_t>(rng.below(static_cast<int>(i) + 1))]);
  std::vector<LibraryTrack> library;
  library.reserve(static_cast<size_t>(count));
  // Round by round, each artist's next best-known track.
  for (size_t round = 0; static_cast<int>(library.size()) < count; ++round) {
    for (int a : order) {
      const CatalogueArtist& artist = artists_[static_cast<size_t>(a)];
      if (round >= artist.tracks.size()) continue;
      const CatalogueTrack& track = tracks_[static_cast<size_t>(artist.tracks[round])];
      LibraryTrack entry;
      entry.name = track.title;
      entry.artist = artist.name;
      entry.album = albums_[static_cast<size_t>(track.album)].title;
      entry.genre = storeGenre(artist.tags.front()).first;
      entry.playCount = round < 3 ? rng.between(1, 60) : rng.between(0, 5);
      entry.totalTimeMs = track.durationMs;
      const Moment added = Moment::random(rng, 2009, 2013);
      entry.dateAdded = added.date() + "T" + added.time() + "Z";
      library.push_back(std::move(entry));
      if (static_cast<int>(library.size()) == count) break;
    }
  }
  return library;
}

std::string MusicCatalogue::foldName(std::string_view name) {
  std::string folded;
  folded.reserve(name.size());
  bool blank = false;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      blank = true;
      continue;
    }
    if (blank && !folded.empty()) folded += ' ';
    blank = false;
    if (c >= 'A' && c <= 'Z') {
      folded += static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < name.size()) {
      // Latin-1 capitals (U+00C0 to U+00DE, but not the multiplication sign).
      const auto next = static_cast<unsigned char>(name[i + 1]);
      folded += static_cast<char>(c);
      folded +=
          static_cast<char>(next >= 0x80 && next <= 0x9E && next != 0x97 ? next + 0x20 : next);
      ++i;
    } else {
      folded += static_cast<char>(c);
    }
  }
  return folded;
}

std::vector<std::string> MusicCatalogue::searchWords(std::string_view text) {
  const std::string folded = foldName(text);
  std::vector<std::string> words;
  std::string word;
  for (size_t i = 0; i < folded.size(); ++i) {
    const auto c = static_cast<unsigned char>(folded[i]);
    if (c == '\'') continue;
    if (c == 0xE2 && folded.compare(i, 3, "\xE2\x80\x99") == 0) {  // the typographic apostrophe
      i += 2;
      continue;
    }
    const bool letter = c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (letter) {
      word += static_cast<char>(c);
    } else if (!word.empty()) {
      words.push_back(std::move(word));
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

}  // namespace mr::sandbox
