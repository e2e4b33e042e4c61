#include <gtest/gtest.h>

#include <algorithm>

#include "ModelTestSupport.h"
#include "model/LastfmArtist.h"
#include "model/LastfmArtistSummary.h"
#include "model/LastfmTrack.h"
#include "model/MRArtistSummaryDocument.h"

namespace mr {
namespace {

using test::xml;

// An artist.getInfo answer, laid out as the service sends it.
constexpr const char* kArtistInfo = R"(<?xml version="1.0" encoding="utf-8"?>
<lfm status="ok">
<artist>
  <name>Cher</name>
  <mbid>bfcc6d75-a6a5-4bc6-8282-47aec8531818</mbid>
  <url>https://www.last.fm/music/Cher</url>
  <image size="small">https://lastfm.freetls.fastly.net/i/u/34s/2a96cbd8b46e442fc41c2b86b821562f.png</image>
  <image size="medium">https://lastfm.freetls.fastly.net/i/u/64s/2a96cbd8b46e442fc41c2b86b821562f.png</image>
  <image size="large">https://lastfm.freetls.fastly.net/i/u/174s/2a96cbd8b46e442fc41c2b86b821562f.png</image>
  <image size="extralarge">https://lastfm.freetls.fastly.net/i/u/300x300/2a96cbd8b46e442fc41c2b86b821562f.png</image>
  <image size="mega">https://lastfm.freetls.fastly.net/i/u/300x300/2a96cbd8b46e442fc41c2b86b821562f.png</image>
  <image size="">https://lastfm.freetls.fastly.net/i/u/300x300/2a96cbd8b46e442fc41c2b86b821562f.png</image>
  <streamable>0</streamable>
  <ontour>0</ontour>
  <stats>
    <listeners>1409426</listeners>
    <playcount>26585212</playcount>
  </stats>
  <similar>
    <artist>
      <name>Sonny &amp; Cher</name>
      <url>https://www.last.fm/music/Sonny+&amp;+Cher</url>
      <image size="small">https://lastfm.freetls.fastly.net/i/u/34s/sonny.png</image>
      <image size="medium">https://lastfm.freetls.fastly.net/i/u/64s/sonny.png</image>
      <image size="large">https://lastfm.freetls.fastly.net/i/u/174s/sonny.png</image>
      <image size="extralarge">https://lastfm.freetls.fastly.net/i/u/300x300/sonny.png</image>
      <image size="mega">https://lastfm.freetls.fastly.net/i/u/300x300/sonny-mega.png</image>
    </artist>
    <artist>
      <name>Madonna</name>
      <url>https://www.last.fm/music/Madonna</url>
      <image size="small">https://lastfm.freetls.fastly.net/i/u/34s/madonna.png</image>
    </artist>
  </similar>
  <tags>
    <tag>
      <name>pop</name>
      <url>https://www.last.fm/tag/pop</url>
    </tag>
    <tag>
      <url>https://www.last.fm/tag/untitled</url>
    </tag>
    <tag>
      <name>female vocalists</name>
      <url>https://www.last.fm/tag/female+vocalists</url>
    </tag>
  </tags>
  <bio>
    <links>
      <link rel="original" href="https://last.fm/music/Cher/+wiki"></link>
    </links>
    <published>11 Jun 2006, 00:32</published>
    <summary><![CDATA[Cher is an American singer and actress. <a href="https://www.last.fm/music/Cher">Read more on Last.fm</a>]]></summary>
    <content><![CDATA[Cher (born Cherilyn Sarkisian; May 20, 1946) is an American singer & actress.]]>
    </content>
  </bio>
</artist></lfm>
)";

TEST(LastfmArtistTest, ArtistInfoAnswer) {
  const Value answer = xml(kArtistInfo);
  const Value* element = answer.objectForKeyPath("lfm/artist");
  ASSERT_NE(element, nullptr);
  const LastfmArtist artist(*element);

  EXPECT_EQ(artist.name, "Cher");
  EXPECT_EQ(artist.url, "https://www.last.fm/music/Cher");
  EXPECT_EQ(artist.mbid, "");  // artists are looked up by name
  EXPECT_FALSE(artist.streamable);
  EXPECT_EQ(artist.imageUrl.largest(), artist.imageUrl.mega);

  ASSERT_EQ(artist.similar.size(), 2u);
  EXPECT_EQ(artist.similar[0].name, "Sonny & Cher");
  EXPECT_EQ(artist.similar[0].imageUrl.largest(),
            "https://lastfm.freetls.fastly.net/i/u/300x300/sonny-mega.png");
  EXPECT_EQ(artist.similar[1].name, "Madonna");
  EXPECT_NE(artist.similar[1].imageUrl, LastfmImageUrl());  // a lone <image> counts

  // The tag without a name is left out; order is the answer's.
  EXPECT_EQ(artist.tag, (std::vector<std::string>{"pop", "female vocalists"}));

  EXPECT_EQ(artist.bioSummary,
            "Cher is an American singer and actress. "
            "<a href=\"https://www.last.fm/music/Cher\">Read more on Last.fm</a>");
  EXPECT_EQ(artist.bioContent,
            "Cher (born Cherilyn Sarkisian; May 20, 1946) is an American singer & actress.");
}

TEST(LastfmArtistTest, SingleEntriesAreListsOfOne) {
  const Value answer = xml(R"(<lfm status="ok">
<artist>
  <name>Solo</name>
  <url>https://www.last.fm/music/Solo</url>
  <image size="mega">https://lastfm.freetls.fastly.net/i/u/300x300/solo.png</image>
  <streamable>1</streamable>
  <similar>
    <artist><name>Duo</name><url>https://www.last.fm/music/Duo</url></artist>
  </similar>
  <tags>
    <tag><name>ambient</name><url>https://www.last.fm/tag/ambient</url></tag>
  </tags>
</artist>
</lfm>)");
  const LastfmArtist artist(*answer.objectForKeyPath("lfm/artist"));
  EXPECT_EQ(artist.name, "Solo");
  EXPECT_TRUE(artist.streamable);
  EXPECT_EQ(artist.imageUrl.largest(), "https://lastfm.freetls.fastly.net/i/u/300x300/solo.png");
  ASSERT_EQ(artist.similar.size(), 1u);
  EXPECT_EQ(artist.similar[0].name, "Duo");
  EXPECT_EQ(artist.tag, (std::vector<std::string>{"ambient"}));
  EXPECT_EQ(artist.bioSummary, "");
  EXPECT_EQ(artist.bioContent, "");

  const LastfmArtist nothing{Value("not an element")};
  EXPECT_EQ(nothing, LastfmArtist());
}

TEST(LastfmImageUrlTest, SizesFromTheImageList) {
  const Value answer = xml(R"(<lfm status="ok"><track>
  <image size="small">https://lastfm.freetls.fastly.net/i/u/34s/a.png</image>
  <image size="medium">  https://lastfm.freetls.fastly.net/i/u/64s/a.png
  </image>
  <image size="large">https://lastfm.freetls.fastly.net/i/u/174s/a.png</image>
  <image size="extralarge">https://lastfm.freetls.fastly.net/i/u/300x300/a.png</image>
  <image size="huge">https://lastfm.freetls.fastly.net/i/u/huge/a.png</image>
  <image>https://lastfm.freetls.fastly.net/i/u/none/a.png</image>
</track></lfm>)");
  const Array* images = answer.arrayForKeyPath("lfm/track/image");
  ASSERT_NE(images, nullptr);
  const LastfmImageUrl url(*images);
  EXPECT_EQ(url.medium, "https://lastfm.freetls.fastly.net/i/u/64s/a.png");
  EXPECT_EQ(url.extraLarge, "https://lastfm.freetls.fastly.net/i/u/300x300/a.png");
  // No mega image: the largest is empty, not the next size down.
  EXPECT_EQ(url.mega, "");
  EXPECT_EQ(url.largest(), "");

  const LastfmImageUrl odd(Array{Value("x"), Value(Dictionary{{"size", Value("mega")}})});
  EXPECT_EQ(odd, LastfmImageUrl());
}

TEST(LastfmArtistSummaryTest, AsDictionaryFeedsAStoredSummary) {
  LastfmArtistSummary summary;
  summary.name = "Cher";
  summary.url = "https://www.last.fm/music/Cher";
  summary.imageUrl.small = "s.png";
  summary.imageUrl.medium = "m.png";
  summary.imageUrl.large = "l.png";
  summary.imageUrl.extraLarge = "xl.png";
  summary.imageUrl.mega = "mega.png";

  const Value dictionary = summary.asDictionary();
  ASSERT_TRUE(dictionary.isDictionary());
  std::vector<std::string> keys = dictionary.asDictionary()->keys();
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"imageExtraLarge", "imageLarge", "imageMedium",
                                            "imageMega", "imageSmall", "name", "url"}));
  EXPECT_EQ(dictionary.stringForKey("imageExtraLarge", ""), "xl.png");

  const MRArtistSummaryDocument stored(dictionary);
  EXPECT_EQ(stored.name(), "Cher");
  EXPECT_EQ(stored.imageLargest(), "mega.png");
  EXPECT_EQ(stored.imageMedium(), "m.png");
}

// A track.getSimilar answer: each track names its artist in an <artist>
// element of its own.
constexpr const char* kSimilarTracks = R"(<?xml version="1.0" encoding="utf-8"?>
<lfm status="ok">
<similartracks track="Believe" artist="Cher">
  <track>
    <name>Strong Enough</name>
    <playcount>1185032</playcount>
    <mbid>f3a6e4c0-48c9-4f76-8f04-8a1bd0f3e7a9</mbid>
    <match>0.873</match>
    <url>https://www.last.fm/music/Cher/_/Strong+Enough</url>
    <streamable fulltrack="0">1</streamable>
    <duration>223</duration>
    <artist>
      <name>Cher</name>
      <mbid>bfcc6d75-a6a5-4bc6-8282-47aec8531818</mbid>
      <url>https://www.last.fm/music/Cher</url>
    </artist>
    <image size="small">https://lastfm.freetls.fastly.net/i/u/34s/strong.png</image>
    <image size="medium">https://lastfm.freetls.fastly.net/i/u/64s/strong.png</image>
    <image size="large">https://lastfm.freetls.fastly.net/i/u/174s/strong.png</image>
    <image size="extralarge">https://lastfm.freetls.fastly.net/i/u/300x300/strong.png</image>
    <image size="mega">https://lastfm.freetls.fastly.net/i/u/300x300/strong-mega.png</image>
  </track>
  <track>
    <name>Vogue</name>
    <playcount>2417190</playcount>
    <mbid></mbid>
    <match>1</match>
    <url>https://www.last.fm/music/Madonna/_/Vogue</url>
    <streamable fulltrack="0">0</streamable>
    <artist>Madonna</artist>
    <image size="small">https://lastfm.freetls.fastly.net/i/u/34s/vogue.png</image>
  </track>
</similartracks></lfm>
)";

TEST(LastfmTrackTest, SimilarTracksAnswer) {
  const Value answer = xml(kSimilarTracks);
  const Array* tracks = answer.arrayForKeyPath("lfm/similartracks/track");
  ASSERT_NE(tracks, nullptr);
  // The attribute track="Believe" shares its name with the <track> elements,
  // so the reader's list opens with that string: only dictionaries are tracks.
  ASSERT_EQ(tracks->size(), 3u);
  EXPECT_EQ((*tracks)[0], Value("Believe"));

  const LastfmTrack strong((*tracks)[1]);
  EXPECT_EQ(strong.name, "Strong Enough");
  EXPECT_EQ(strong.mbid, "f3a6e4c0-48c9-4f76-8f04-8a1bd0f3e7a9");
  EXPECT_FLOAT_EQ(strong.match, 0.873f);
  EXPECT_TRUE(strong.streamable);
  EXPECT_EQ(strong.artistName, "Cher");
  EXPECT_EQ(strong.artistMbid, "bfcc6d75-a6a5-4bc6-8282-47aec8531818");
  ASSERT_TRUE(strong.imageUrl.has_value());
  EXPECT_EQ(strong.imageUrl->largest(),
            "https://lastfm.freetls.fastly.net/i/u/300x300/strong-mega.png");

  // Here the artist is named only by the element's own text, not by a <name>
  // child: there is no artist to read. A lone image is a list of one.
  const LastfmTrack vogue((*tracks)[2]);
  EXPECT_EQ(vogue.name, "Vogue");
  EXPECT_FLOAT_EQ(vogue.match, 1.0f);
  EXPECT_FALSE(vogue.streamable);
  EXPECT_EQ(vogue.artistName, "");
  ASSERT_TRUE(vogue.imageUrl.has_value());
  EXPECT_EQ(vogue.imageUrl->small, "https://lastfm.freetls.fastly.net/i/u/34s/vogue.png");
}

TEST(LastfmTrackTest, TrackWithoutArtistOrImages) {
  const Value answer = xml(R"(<lfm status="ok">
<track>
  <name>Believe</name>
  <url>https://www.last.fm/music/Cher/_/Believe</url>
</track>
</lfm>)");
  const LastfmTrack track(*answer.objectForKeyPath("lfm/track"));
  EXPECT_EQ(track.name, "Believe");
  EXPECT_EQ(track.artistName, "");
  EXPECT_EQ(track.match, 0.0f);
  EXPECT_FALSE(track.streamable);
  EXPECT_FALSE(track.imageUrl.has_value());
}

}  // namespace
}  // namespace mr
