#include <gtest/gtest.h>

#include "base/Localization.h"
#include "base/NSHTTPQueryDictionary.h"
#include "base/StringAdditions.h"
#include "base/Url.h"

namespace mr {
namespace {

Bytes bytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

TEST(QueryTest, BuildQuerySortsWithoutCaseAndEncodes) {
  NSHTTPQueryDictionary query;
  query.setObject(Value("x y"), "b");
  query.setObject(Value(1), "A");
  query.setObject(Value("é/"), "c");
  EXPECT_EQ(query.buildQuery(), "A=1&b=x%20y&c=%C3%A9%2F");
}

TEST(QueryTest, NumbersBooleansAndUnsupportedValues) {
  Dictionary parameters{{"t", Value(true)},
                        {"f", Value(false)},
                        {"r", Value(2.5)},
                        {"whole", Value(2.0)},
                        {"n", Value(-3)}};
  EXPECT_EQ(NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(parameters),
            "f=0&n=-3&r=2.5&t=1&whole=2");
  parameters.set("list", Value::array());
  EXPECT_EQ(NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(parameters), std::nullopt);
  EXPECT_EQ(NSHTTPQueryDictionary().buildQuery(), "");
}

TEST(QueryTest, UrlencodeEscapesEverythingButTheUnreserved) {
  EXPECT_EQ(NSHTTPQueryDictionary::urlencode("aZ09-_.~"), "aZ09-_.~");
  EXPECT_EQ(NSHTTPQueryDictionary::urlencode("!*'();:@&=+$,/?%#[] "),
            "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D%20");
}

TEST(QueryTest, ParsingAQueryKeepsTextAsItStands) {
  const auto query = NSHTTPQueryDictionary::withQuery("a=1&b&c=2=3&d=%41&&");
  EXPECT_EQ(*query.objectForKey("a")->asString(), "1");
  EXPECT_EQ(*query.objectForKey("b")->asString(), "");
  EXPECT_EQ(*query.objectForKey("c")->asString(), "2");
  EXPECT_EQ(*query.objectForKey("d")->asString(), "%41");
  EXPECT_EQ(query.parameter.size(), 4u);
  const auto fromUrl = NSHTTPQueryDictionary::withURL("http://h/p?x=1#frag");
  EXPECT_EQ(*fromUrl.objectForKey("x")->asString(), "1");
}

TEST(QueryTest, ParseQueryStringSplitsOnEscapedAmpersands) {
  const auto parsed =
      parseQueryString("a=1&amp;b=x%20y&amp;c=%E3%81%82&amp;d&amp;bad=%zz&amp;e=1&2");
  EXPECT_EQ(parsed.at("a"), "1");
  EXPECT_EQ(parsed.at("b"), "x y");
  EXPECT_EQ(parsed.at("c"), "あ");
  EXPECT_EQ(parsed.count("d"), 0u);
  EXPECT_EQ(parsed.at("bad"), "%zz");  // kept as it stands rather than lost
  EXPECT_EQ(parsed.at("e"), "1&2");
}

TEST(Base64Test, StandardAndUrlSafe) {
  EXPECT_EQ(base64StringFromData({}), "");
  EXPECT_EQ(base64StringFromData(bytes("f")), "Zg==");
  EXPECT_EQ(base64StringFromData(bytes("fo")), "Zm8=");
  EXPECT_EQ(base64StringFromData(bytes("foobar")), "Zm9vYmFy");
  EXPECT_EQ(urlSafeBase64StringFromData(bytes("fo")), "Zm8");
  const Bytes awkward{0xfb, 0xff, 0xfe};
  EXPECT_EQ(base64StringFromData(awkward), "+//+");
  EXPECT_EQ(urlSafeBase64StringFromData(awkward), "-__-");
}

TEST(Base64Test, ForgivingUrlSafeDecoder) {
  EXPECT_EQ(decodeUrlSafeBase64StringToData("Zm9vYmFy"), bytes("foobar"));
  EXPECT_EQ(decodeUrlSafeBase64StringToData("Zm8"), bytes("fo"));
  EXPECT_EQ(decodeUrlSafeBase64StringToData("Zg"), bytes("f"));
  EXPECT_EQ(decodeUrlSafeBase64StringToData("Z"), Bytes{});  // one value makes no byte
  EXPECT_EQ(decodeUrlSafeBase64StringToData(""), Bytes{});
  EXPECT_EQ(decodeUrlSafeBase64StringToData("-__-"), (Bytes{0xfb, 0xff, 0xfe}));
  // "+" and "/" are not in the alphabet and are skipped; "=" ends the data.
  EXPECT_EQ(decodeUrlSafeBase64StringToData("Zm+9v"), bytes("foo"));
  EXPECT_EQ(decodeUrlSafeBase64StringToData("Zm8=Zm9v"), bytes("fo"));
}

TEST(Base64Test, StrictStandardDecoder) {
  EXPECT_EQ(decodeBase64("Zm9v\n YmFy"), bytes("foobar"));
  EXPECT_EQ(decodeBase64("Zm8="), bytes("fo"));
  EXPECT_EQ(decodeBase64("Zm8*"), std::nullopt);
  EXPECT_EQ(decodeBase64("Zm8=Zg"), std::nullopt);
  EXPECT_EQ(decodeBase64("Z"), std::nullopt);
}

TEST(HexTest, BothDirections) {
  EXPECT_EQ(hexStringFromData({0x00, 0xab, 0x7f}), "00ab7f");
  EXPECT_EQ(dataFromHexString("00ab7F"), (Bytes{0x00, 0xab, 0x7f}));
  EXPECT_EQ(dataFromHexString("abc"), (Bytes{0xab}));  // odd last character ignored
  EXPECT_EQ(dataFromHexString("1gg1"), (Bytes{0x01, 0x00}));
}

TEST(DigestTest, MD5) {
  EXPECT_EQ(MD5DigestString(std::string_view()), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(MD5DigestString("The quick brown fox jumps over the lazy dog"),
            "9e107d9d372bb6826bd81d3542a419d6");
}

TEST(TextTest, Distance) {
  EXPECT_EQ(stringWithDistance(999), "999m");
  EXPECT_EQ(stringWithDistance(1000), "1.0km");
  EXPECT_EQ(stringWithDistance(12345), "12.3km");
}

TEST(TextTest, RelativeAgeThresholdsAreStrict) {
  const Date now{1'000'000};
  const auto age = [&](double seconds) {
    return stringWithDateTimeUntilNow(Date{now.secondsSince1970 - seconds}, now);
  };
  EXPECT_EQ(age(45), "45s");
  EXPECT_EQ(age(60), "60s");
  EXPECT_EQ(age(89), "1m");
  EXPECT_EQ(age(90), "2m");
  EXPECT_EQ(age(3600), "60m");
  EXPECT_EQ(age(3601), "1h");
  EXPECT_EQ(age(86400), "24h");
  EXPECT_EQ(age(86401 * 3), "3d");
  EXPECT_EQ(age(-30), "-30s");
  EXPECT_EQ(stringWithDateTimeUntilNowInLocal(Date{now.secondsSince1970 - 120}, now),
            "2 minutes ago");
}

TEST(TextTest, LocalisedFormatsMustHoldOneNumber) {
  registerLocalizedStrings({{"stringWithDateTimeUntilNowInLocal_days", "%s days"}});
  EXPECT_EQ(stringWithDateTimeUntilNowInLocal(Date{0}, Date{86400 * 5}), "");
  registerLocalizedStrings({{"stringWithDateTimeUntilNowInLocal_days", "%.0f days ago"}});
  EXPECT_EQ(stringWithDateTimeUntilNowInLocal(Date{0}, Date{86400 * 5}), "5 days ago");
}

TEST(TextTest, RegexReplacementIgnoresCase) {
  EXPECT_EQ(stringByReplacingOccurrencesOfRegex("Song (Official VIDEO) HD",
                                                "\\s*\\(official video\\)", ""),
            "Song HD");
  EXPECT_EQ(stringByReplacingOccurrencesOfRegex("Artist - Title", "^(.*) - (.*)$", "$2 by $1"),
            "Title by Artist");
  EXPECT_EQ(stringByReplacingOccurrencesOfRegex("ÄBC äbc", "ä", "a"), "aBC abc");
  EXPECT_EQ(stringByReplacingOccurrencesOfRegex("text", "(", "x"), "text");  // invalid pattern
}

TEST(TextTest, Utf8Validation) {
  EXPECT_TRUE(isValidUtf8("plain é あ 😀"));
  EXPECT_FALSE(isValidUtf8("\xC3"));
  EXPECT_FALSE(isValidUtf8("\xC0\xAF"));      // overlong
  EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));  // surrogate
  EXPECT_EQ(percentDecode("%E3%81%82"), "あ");
  EXPECT_EQ(percentDecode("%FF"), std::nullopt);
  EXPECT_EQ(percentDecode("%4"), std::nullopt);
  EXPECT_EQ(percentDecode("a+b"), "a+b");
}

TEST(UrlTest, Parts) {
  auto url = Url::parse("HTTP://user@127.0.0.1:8123/a/b?x=1&y#top");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->scheme, "http");
  EXPECT_EQ(url->host, "127.0.0.1");
  EXPECT_EQ(url->port, 8123);
  EXPECT_EQ(url->path, "/a/b");
  EXPECT_EQ(url->query, "x=1&y");
  EXPECT_EQ(url->fragment, "top");
  EXPECT_EQ(url->origin(), "http://127.0.0.1:8123");
  auto v6 = Url::parse("https://[::1]/");
  ASSERT_TRUE(v6);
  EXPECT_EQ(v6->host, "::1");
  EXPECT_EQ(v6->effectivePort(), 443);
  EXPECT_FALSE(Url::parse("no scheme"));
  EXPECT_FALSE(Url::parse("http://h:99999/"));
  EXPECT_EQ(Url::parse("mirelune://oauth-complete")->host, "oauth-complete");
}

}  // namespace
}  // namespace mr
