#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "base/Json.h"
#include "base/Value.h"

namespace mr {
namespace {

Value parse(std::string_view json) {
  auto value = parseJson(json);
  EXPECT_TRUE(value.ok()) << value.error().toString();
  return value.ok() ? *value : Value();
}

TEST(ValueCoercionTest, IntegersFromNumbersAndStrings) {
  const Value d = parse(R"({"text": "42abc", "none": "abc", "blank": "  -7 ", "null": null,
      "list": [1], "real": 3.9, "negative": -3.9, "big": 5000000000, "bool": true,
      "huge": "99999999999999999999"})");
  EXPECT_EQ(d.intForKey("text", 9), 42);
  EXPECT_EQ(d.intForKey("none", 9), 0);  // a string is always converted
  EXPECT_EQ(d.intForKey("blank", 9), -7);
  EXPECT_EQ(d.intForKey("null", 9), 9);
  EXPECT_EQ(d.intForKey("list", 9), 9);
  EXPECT_EQ(d.intForKey("missing", 9), 9);
  EXPECT_EQ(d.intForKey("real", 9), 3);
  EXPECT_EQ(d.intForKey("negative", 9), -3);
  EXPECT_EQ(d.intForKey("bool", 9), 1);
  EXPECT_EQ(d.integerForKey("big", 0), 5000000000);
  EXPECT_EQ(d.intForKey("huge", 0), INT32_MAX);  // saturates like the platform's reading
  EXPECT_EQ(d.integerForKey("huge", 0), INT64_MAX);
  EXPECT_EQ(d.unsignedIntegerForKey("text", 0), 42u);
  EXPECT_EQ(d.unsignedIntegerForKey("missing", 7), 7u);
}

TEST(ValueCoercionTest, BooleansFloatsAndStrings) {
  const Value d = parse(R"({"true": "true", "yes": "yes", "one": "1", "two": 2, "half": 0.5,
      "five": 5, "pi": "3.14xyz", "exp": "1e3", "dot": ".5", "word": "abc", "f": 2.5})");
  EXPECT_FALSE(d.boolForKey("true", true));
  EXPECT_FALSE(d.boolForKey("yes", true));
  EXPECT_TRUE(d.boolForKey("one", false));
  EXPECT_TRUE(d.boolForKey("two", false));
  EXPECT_FALSE(d.boolForKey("half", true));  // the integer reading is 0
  EXPECT_TRUE(d.boolForKey("missing", true));
  EXPECT_FLOAT_EQ(d.floatForKey("pi", 0), 3.14f);
  EXPECT_FLOAT_EQ(d.floatForKey("exp", 0), 1000.0f);
  EXPECT_FLOAT_EQ(d.floatForKey("dot", 0), 0.5f);
  EXPECT_FLOAT_EQ(d.floatForKey("word", 9), 0.0f);
  EXPECT_FLOAT_EQ(d.floatForKey("f", 0), 2.5f);
  EXPECT_EQ(d.stringForKey("five", "default"), "default");  // a number is not a string
  EXPECT_EQ(d.stringForKey("word", "default"), "abc");
  EXPECT_FALSE(d.stringForKey("five").has_value());
}

TEST(ValueCoercionTest, AccessorsOnSomethingThatIsNotADictionary) {
  const Value list = parse("[1, 2]");
  EXPECT_EQ(list.intForKey("a", 4), 4);
  EXPECT_EQ(list.get("a"), nullptr);
  EXPECT_EQ(Value("text").objectForKeyPath("a/b"), nullptr);
}

TEST(ValueKeyPathTest, ComponentsIndexesAndMisses) {
  const Value d = parse(R"({"media$category": [{"$t": "Music"}, {"$t": "Film"}],
      "a": [1, 2], "single": {"b": 5}, "text": "x", "null": null, "weird#x": {"k": 1},
      "two#1#2": 3})");
  EXPECT_EQ(d.stringForKeyPath("media$category#0/$t", ""), "Music");
  EXPECT_EQ(d.stringForKeyPath("media$category#1/$t", ""), "Film");
  EXPECT_EQ(d.objectForKeyPath("a#3"), nullptr);
  EXPECT_EQ(d.intForKeyPath("a#1", 0), 2);
  // An index on something that is not an array is ignored.
  ASSERT_NE(d.dictionaryForKeyPath("single#0"), nullptr);
  EXPECT_EQ(d.intForKeyPath("single#0/b", 0), 5);
  EXPECT_EQ(d.objectForKeyPath("text/b"), nullptr);
  EXPECT_EQ(d.objectForKeyPath("null"), nullptr);
  // A non-numeric index reads as 0; a negative index leaves the array whole.
  EXPECT_EQ(d.intForKeyPath("a#x", 0), 1);
  ASSERT_NE(d.arrayForKeyPath("a#-1"), nullptr);
  // More than one "#": the whole component is the key.
  EXPECT_EQ(d.intForKeyPath("two#1#2", 0), 3);
  EXPECT_EQ(d.objectForKeyPath("media$category/$t"), nullptr);
}

TEST(ValueDateTest, UnixTimeAndFormats) {
  const Value d = parse(R"({"zero": 0, "negative": -5, "text": "x", "numeric": "100",
      "when": "2013-04-05 06:07:08 +0000", "bad": "yesterday", "number": 5})");
  const Date fallback{12345};
  EXPECT_EQ(d.unixtimeForKey("zero", fallback), Date{0});
  EXPECT_EQ(d.unixtimeForKey("negative", fallback), fallback);
  EXPECT_EQ(d.unixtimeForKey("text", fallback), fallback);
  EXPECT_EQ(d.unixtimeForKey("when", fallback), Date{2013});  // leading digits, as a number
  EXPECT_EQ(d.unixtimeForKey("missing", fallback), fallback);
  EXPECT_EQ(d.unixtimeForKey("numeric", fallback), Date{100});
  EXPECT_EQ(d.unixtimeForKeyPath("zero", fallback), Date{0});

  const char* format = "yyyy-MM-dd HH:mm:ss Z";
  EXPECT_EQ(d.dateForKey("when", format, fallback), Date{1365142028});
  EXPECT_EQ(d.dateForKey("bad", format, fallback), std::nullopt);  // not the fallback
  EXPECT_EQ(d.dateForKey("number", format, fallback), fallback);
  EXPECT_EQ(d.dateForKeyPath("missing", format, fallback), fallback);
}

TEST(ValueTextKeyTest, TextNodesOfXmlTrees) {
  const Value d = parse(R"({"name": {"text": "\n   Björk \n"}, "empty": {},
      "streamable": {"text": " 1"}, "no": {"text": "0"}, "zero1": {"text": "+001"},
      "yes": {"text": "Yes"}, "match": {"text": "0.75"}, "plain": "string",
      "date": {"text": "Thu, 30 May 2013 18:00:00 +0000"}})");
  EXPECT_EQ(d.stringForTextKey("name", ""), "Björk");
  EXPECT_EQ(d.stringForTextKey("empty", " dflt "), "dflt");    // no text: the default, trimmed
  EXPECT_EQ(d.stringForTextKey("plain", " dflt "), " dflt ");  // not a dictionary: as given
  EXPECT_FALSE(d.stringForTextKey("empty").has_value());
  EXPECT_TRUE(d.boolForTextKey("streamable", false));
  EXPECT_FALSE(d.boolForTextKey("no", true));
  EXPECT_TRUE(d.boolForTextKey("zero1", false));
  EXPECT_TRUE(d.boolForTextKey("yes", false));
  EXPECT_TRUE(d.boolForTextKey("missing", true));
  EXPECT_EQ(d.intForTextKey("streamable", 5), 1);
  EXPECT_FLOAT_EQ(d.floatForTextKey("match", 0), 0.75f);
  EXPECT_EQ(d.dateForTextKey("date", "EEE, dd MMM yyyy HH:mm:ss Z"), Date{1369936800});
}

TEST(ValueSetterTest, SettersAndDocuments) {
  Value d;
  d.setObjectNullIfNil("a", std::nullopt);
  d.setObjectWithDefault("b", std::nullopt, Value("dflt"));
  d.setObjectWithDefault("c", Value(3), Value("dflt"));
  d.setInt("i", -2);
  d.setBool("t", true);
  d.setFloat("f", 0.5f);
  EXPECT_TRUE(d.get("a")->isNull());
  EXPECT_EQ(d.stringForKey("b", ""), "dflt");
  EXPECT_EQ(d.intForKey("c", 0), 3);
  EXPECT_TRUE(d.get("t")->isBool());
  EXPECT_TRUE(d.get("f")->isReal());
  EXPECT_EQ(toJson(d), R"({"a":null,"b":"dflt","c":3,"i":-2,"t":true,"f":0.5})");

  struct Doc {
    explicit Doc(const Value& v) : name(v.stringForKey("name", "")) {}
    std::string name;
  };
  const Value parent = parse(R"({"item": {"name": "n"}, "list": [1]})");
  EXPECT_EQ(parent.documentForKey<Doc>("item")->name, "n");
  EXPECT_FALSE(parent.documentForKey<Doc>("list").has_value());
  EXPECT_FALSE(parent.documentForKeyPath<Doc>("item/name").has_value());
}

TEST(ValueTest, CopiesAreDeepAndIndependent) {
  Value original = parse(R"({"list": [{"k": "v"}]})");
  Value copy = original;
  (*copy.get("list")->asArray())[0].set("k", Value("changed"));
  EXPECT_EQ(original.stringForKeyPath("list#0/k", ""), "v");
  EXPECT_EQ(copy.stringForKeyPath("list#0/k", ""), "changed");
}

TEST(ValueTest, LargeDictionariesStayConsistent) {
  Dictionary big;
  for (int i = 0; i < 1000; ++i)
    big.set(std::to_string(i), Value(i));
  big.set("500", Value("replaced"));
  EXPECT_EQ(big.size(), 1000u);
  EXPECT_TRUE(big.erase("0"));
  EXPECT_FALSE(big.erase("0"));
  EXPECT_EQ(*big.find("999")->asInteger(), 999);
  EXPECT_EQ(*big.find("500")->asString(), "replaced");
  Dictionary copy = big;
  copy.set("new", Value(1));
  EXPECT_EQ(big.find("new"), nullptr);
  EXPECT_NE(copy.find("1"), nullptr);
  EXPECT_FALSE(copy == big);
  copy.erase("new");
  EXPECT_TRUE(copy == big);
}

TEST(ValueTest, RandomizedArrayKeepsTheMembersAndTheReceiver) {
  Array members;
  for (int i = 0; i < 50; ++i)
    members.emplace_back(i);
  const Value list(members);
  const Value shuffled = list.randomizedArray();
  EXPECT_EQ(list, Value(members));
  Array sorted = *shuffled.asArray();
  std::sort(sorted.begin(), sorted.end(),
            [](const Value& a, const Value& b) { return *a.asInteger() < *b.asInteger(); });
  EXPECT_EQ(Value(sorted), list);
  EXPECT_EQ(Value::array().randomizedArray(), Value::array());
  EXPECT_EQ(Value("x").randomizedArray(), Value("x"));
}

}  // namespace
}  // namespace mr
