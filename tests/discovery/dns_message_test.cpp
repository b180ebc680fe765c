// The PTR query's bytes, which datagrams count as its answer, and the names
// taken out of answers: real layouts, compression, and hostile or cut data.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "wizard/discovery/dns_message.h"
#include "wizard/discovery/dns_query.h"
#include "wizard/discovery/host_table.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Query(const char* address, std::uint16_t id = 0x1234) {
  unsigned char query[kDnsQueryRoom];
  int length = BuildPtrQuery(address, id, query);
  EXPECT_GT(length, 0) << address;
  return Bytes(query, query + (length > 0 ? length : 0));
}

Bytes Name(std::initializer_list<std::string> labels, Bytes tail = {0}) {
  Bytes name;
  for (const std::string& label : labels) {
    name.push_back(static_cast<unsigned char>(label.size()));
    name.insert(name.end(), label.begin(), label.end());
  }
  name.insert(name.end(), tail.begin(), tail.end());
  return name;
}

Bytes Pointer(std::size_t offset) {
  return {static_cast<unsigned char>(0xC0 | (offset >> 8)), static_cast<unsigned char>(offset)};
}

enum : std::uint16_t { kPtr = 12, kCname = 5 };

// A record owned by the question's name (a pointer to offset 12), TTL 3600.
Bytes Record(std::uint16_t type, const Bytes& rdata) {
  Bytes record = {0xC0, 0x0C, 0, static_cast<unsigned char>(type), 0, 1, 0, 0, 0x0E, 0x10};
  record.push_back(static_cast<unsigned char>(rdata.size() >> 8));
  record.push_back(static_cast<unsigned char>(rdata.size()));
  record.insert(record.end(), rdata.begin(), rdata.end());
  return record;
}

Bytes Answer(const Bytes& query, std::initializer_list<Bytes> records, unsigned char rcode = 0) {
  Bytes answer = query;
  answer[2] = 0x81;
  answer[3] = static_cast<unsigned char>(0x80 | rcode);
  answer[7] = static_cast<unsigned char>(records.size());
  for (const Bytes& record : records) answer.insert(answer.end(), record.begin(), record.end());
  return answer;
}

// The name ParsePtrAnswer takes, or "-" when it takes none. The answer is
// copied to a buffer of exactly its length, so the sanitizers see any read
// beyond it.
std::string Parse(const Bytes& answer, std::size_t queryLength, std::size_t cut = SIZE_MAX) {
  std::size_t length = std::min(cut, answer.size());
  std::unique_ptr<unsigned char[]> exact(new unsigned char[length]);
  if (length > 0) std::memcpy(exact.get(), answer.data(), length);
  char name[kHostNameRoom];
  std::memset(name, 'x', sizeof name);
  int found =
      ParsePtrAnswer(exact.get(), name, static_cast<int>(length), static_cast<int>(queryLength));
  EXPECT_EQ(found == 1, name[0] != '\0');
  return found == 1 ? std::string(name) : "-";
}

TEST(DiscoveryQueryBytesTest, QueriesCarryTheReverseNameAndTheGivenId) {
  const Bytes expected192 = {0xBE, 0xEF, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0x00, 0x02, 0x32, 0x30, 0x01, 0x31, 0x03, 0x31, 0x36, 0x38, 0x03,
                             0x31, 0x39, 0x32, 0x07, 0x69, 0x6E, 0x2D, 0x61, 0x64, 0x64, 0x72,
                             0x04, 0x61, 0x72, 0x70, 0x61, 0x00, 0x00, 0x0C, 0x00, 0x01};
  EXPECT_EQ(Query("192.168.1.20", 0xBEEF), expected192);
  Bytes ten = Query("10.0.0.1", 0x0001);
  ASSERT_EQ(ten.size(), 39u);
  EXPECT_EQ(Bytes(ten.begin(), ten.begin() + 12), Bytes({0, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Bytes(ten.begin() + 12, ten.end()),
            Name({"1", "0", "0", "10", "in-addr", "arpa"}, {0, 0, 0x0C, 0, 1}));
}

TEST(DiscoveryQueryBytesTest, TextsThatAreNoDottedAddressAreRefused) {
  unsigned char query[kDnsQueryRoom];
  for (const char* text : {"", ".1.2.3", "1..2.3", "1.2.3.", "10.0.0.1a", "fe80::1",
                           "1234567890.12345", "host.example"}) {
    EXPECT_EQ(BuildPtrQuery(text, 1, query), -1) << text;
  }
  EXPECT_EQ(BuildPtrQuery(nullptr, 1, query), -1);
}

TEST(DiscoveryAnswerMatchTest, OnlyAnAnswerToTheQuestionAskedWithItsIdCounts) {
  const Bytes query = Query("192.0.2.77", 0xA55A);
  const Bytes good = Answer(query, {Record(kPtr, Name({"host77", "example", "test"}))});
  auto matches = [&query](const Bytes& answer) {
    return IsAnswerToQuery(answer.data(), static_cast<int>(answer.size()), query.data(),
                           static_cast<int>(query.size()));
  };
  EXPECT_TRUE(matches(good));
  Bytes upperCase = good;
  std::memcpy(&upperCase[24], "IN-ADDR", 7);  // after the labels 77, 2, 0, 192
  EXPECT_TRUE(matches(upperCase));

  struct Change {
    std::size_t offset;
    unsigned char value;
    const char* what;
  };
  for (Change c : {Change{0, 0xA4, "ID"}, Change{1, 0x5B, "ID"}, Change{2, 0x01, "QR"},
                   Change{5, 2, "QDCOUNT"}, Change{14, '8', "QNAME"}, Change{38, 0x1C, "QTYPE"},
                   Change{40, 3, "QCLASS"}}) {
    Bytes wrong = good;
    wrong[c.offset] = c.value;
    EXPECT_FALSE(matches(wrong)) << c.what;
  }
  EXPECT_FALSE(matches(Bytes(good.begin(), good.begin() + query.size() - 1)));
  EXPECT_FALSE(matches(Answer(Query("192.0.2.78", 0xA55A), {})));
}

TEST(DiscoveryHostNameTest, OnlyHostNamesAreAccepted) {
  const std::string label63(63, 'a');
  const std::string name253 = label63 + "." + label63 + "." + label63 + "." + std::string(61, 'b');
  for (const std::string& good : {std::string("host77.example.test"), std::string("a"),
                                  std::string("_srv-1.Example9"), label63, name253}) {
    EXPECT_TRUE(IsValidHostName(good.c_str(), good.size())) << good;
  }
  for (const std::string& bad :
       {std::string(""), std::string("."), std::string("a..b"), std::string(".a"),
        std::string("a."), std::string("bad name"), std::string("evil/x"), std::string("a@b"),
        std::string("h\xC3\xA9.test"), std::string("a\0b", 3), label63 + "a", name253 + "b"}) {
    EXPECT_FALSE(IsValidHostName(bad.c_str(), bad.size())) << bad;
  }
}

class DiscoveryPtrAnswerTest : public ::testing::Test {
 protected:
  const Bytes query = Query("192.0.2.77");  // "in-addr" at 23, "arpa" at 31
  const std::size_t q = query.size();
};

TEST_F(DiscoveryPtrAnswerTest, NamesOfRealAnswerLayouts) {
  const Bytes host = Name({"host77", "example", "test"});
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, host)}), q), "host77.example.test");
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, host), Record(kPtr, Name({"second"}))}), q),
            "host77.example.test");
  EXPECT_EQ(
      Parse(Answer(query, {Record(kCname, Name({"77", "0-127"}, Pointer(15))), Record(kPtr, host)}),
            q),
      "host77.example.test");
  // RDLENGTH 137: its low byte alone has the top bit set.
  const std::string label63(63, 'h');
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, Name({label63, label63, "example"}))}), q),
            label63 + "." + label63 + ".example");
}

TEST_F(DiscoveryPtrAnswerTest, CompressedNamesFollowBackwardPointers) {
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, Name({"host77"}, Pointer(23)))}), q),
            "host77.in-addr.arpa");
  // A chain: the PTR name points into the CNAME's name, which points into
  // the question.
  Bytes cname = Record(kCname, Name({"alias"}, Pointer(31)));
  EXPECT_EQ(Parse(Answer(query, {cname, Record(kPtr, Name({"h"}, Pointer(q + 12)))}), q),
            "h.alias.arpa");
}

TEST_F(DiscoveryPtrAnswerTest, HostilePointersAreRefused) {
  const std::size_t rdata = q + 12;
  Bytes forward = Answer(query, {Record(kPtr, Pointer(rdata + 2))});
  Bytes name = Name({"evil"});
  forward.insert(forward.end(), name.begin(), name.end());
  EXPECT_EQ(Parse(forward, q), "-") << "forwards";
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, Pointer(rdata))}), q), "-") << "itself";
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, Name({"loop"}, Pointer(rdata)))}), q), "-") << "loop";
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, Pointer(0x3FFF))}), q), "-") << "beyond the end";
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, {0xC0})}), q), "-") << "half a pointer";
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, Name({"a"}, {0x40}))}), q), "-") << "extended label";
}

TEST_F(DiscoveryPtrAnswerTest, AnswersWithoutAUsableNameGiveNone) {
  const Bytes host = Name({"host77", "example", "test"});
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, host)}, 3), q), "-") << "RCODE 3";
  Bytes notAnswer = Answer(query, {Record(kPtr, host)});
  notAnswer[2] = 0x01;
  EXPECT_EQ(Parse(notAnswer, q), "-") << "QR 0";
  EXPECT_EQ(Parse(Answer(query, {Record(kCname, host)}), q), "-") << "no PTR";
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, {})}), q), "-") << "RDLENGTH 0";
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, {0})}), q), "-") << "root name";
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, Name({"bad name", "test"}))}), q), "-");
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, Name({"host77", "example"}, {}))}), q), "-")
      << "name without its end";
  const std::string label63(63, 'h');
  EXPECT_EQ(Parse(Answer(query, {Record(kPtr, Name({label63, label63, label63, label63}))}), q),
            "-")
      << "255 bytes";
}

TEST_F(DiscoveryPtrAnswerTest, AnswersCutAtEveryLengthGiveNone) {
  for (const Bytes& answer : {Answer(query, {Record(kPtr, Name({"host77", "example", "test"}))}),
                              Answer(query, {Record(kCname, Name({"alias"}, Pointer(31))),
                                             Record(kPtr, Name({"h"}, Pointer(q + 12)))})}) {
    for (std::size_t cut = 0; cut < answer.size(); ++cut) {
      EXPECT_EQ(Parse(answer, q, cut), "-") << cut;
    }
    EXPECT_NE(Parse(answer, q), "-");
  }
}

}  // namespace
