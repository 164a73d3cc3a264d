// The kept answers' file format: facts read back as written, and any flipped bit noticed.
#include "web/answer_entry.h"

#include <gtest/gtest.h>

namespace picsheet {
namespace {

const StoredAnswer kFacts{"http://host/a.jpg", "http://cdn.host/a.jpg", "\"v1\"",
                          "Tue, 02 Jan 2024 10:00:00 GMT", "image/jpeg"};

TEST(AnswerEntryTest, ReadsBackWhatWasWritten) {
  const std::string body("body\0bytes", 10);
  const std::optional<std::string> head = EncodeEntryHead(kFacts, body);
  ASSERT_TRUE(head);
  const std::optional<EntryPrefix> prefix = DecodeEntryPrefix(*head);
  ASSERT_TRUE(prefix);
  EXPECT_EQ(prefix->bodyBytes, body.size());
  EXPECT_EQ(prefix->bodyCrc, Crc32(0, body));
  EXPECT_EQ(kEntryPrefixBytes + prefix->factsBytes, head->size());
  const std::optional<StoredAnswer> facts =
      DecodeEntryFacts(std::string_view(*head).substr(kEntryPrefixBytes), prefix->factsCrc);
  ASSERT_TRUE(facts);
  for (auto field : {&StoredAnswer::url, &StoredAnswer::finalUrl, &StoredAnswer::etag,
                     &StoredAnswer::lastModified, &StoredAnswer::contentType}) {
    EXPECT_EQ((*facts).*field, kFacts.*field);
  }
}

// Every single flipped bit of the prefix or the facts makes one of them refused, so a damaged
// head never passes for another answer's.
TEST(AnswerEntryTest, RefusesAHeadWithAnyBitFlipped) {
  const std::string head = *EncodeEntryHead(kFacts, "body");
  for (std::size_t bit = 0; bit < head.size() * 8; ++bit) {
    std::string damaged = head;
    damaged[bit / 8] = static_cast<char>(damaged[bit / 8] ^ (1 << (bit % 8)));
    const std::optional<EntryPrefix> prefix = DecodeEntryPrefix(damaged);
    const bool accepted =
        prefix && prefix->factsBytes == head.size() - kEntryPrefixBytes &&
        DecodeEntryFacts(std::string_view(damaged).substr(kEntryPrefixBytes), prefix->factsCrc);
    EXPECT_FALSE(accepted) << "bit " << bit;
  }
}

TEST(AnswerEntryTest, RefusesFactsTooLongToBeAnAnswer) {
  StoredAnswer facts = kFacts;
  facts.url.assign(kMaxEntryFactsBytes, 'u');
  EXPECT_FALSE(EncodeEntryHead(facts, "body"));
}

}  // namespace
}  // namespace picsheet
