// What a user is shown of an error: the message's full stop and the detail line.
#include "app/core/error_message.h"

#include <gtest/gtest.h>

namespace picsheet {
namespace {

TEST(MessageForDisplayTest, FullStopOnlyAfterBytesAboveTheFullStop) {
  EXPECT_EQ(MessageForDisplay("Cannot open URL x"), "Cannot open URL x.");
  EXPECT_EQ(MessageForDisplay("JPEG error #55"), "JPEG error #55.");
  EXPECT_EQ(MessageForDisplay("Done."), "Done.");
  EXPECT_EQ(MessageForDisplay("(x)"), "(x)");
  EXPECT_EQ(MessageForDisplay("x!"), "x!");
  EXPECT_EQ(MessageForDisplay("say \"x\""), "say \"x\"");
  EXPECT_EQ(MessageForDisplay("blank "), "blank ");
  EXPECT_EQ(MessageForDisplay("a/"), "a/.");
  EXPECT_EQ(MessageForDisplay("\xD1\xFF"), "\xD1\xFF.");
  EXPECT_EQ(MessageForDisplay(""), "");
}

TEST(DescribeFailureTest, NamesThePictureAndTheReasonWithControlBytesEscaped) {
  const auto described = [](const std::string& reason, std::optional<PictureContext> picture) {
    Error error(ErrorKind::kOther, "message", reason);
    if (picture) error.SetPicture(*picture);
    return DescribeFailure(error);
  };
  EXPECT_EQ(described("", std::nullopt), "");
  EXPECT_EQ(described("Could not resolve host: x.invalid", std::nullopt),
            "Could not resolve host: x.invalid");
  EXPECT_EQ(described("", PictureContext{"12", 2, 7, "http://h/a.jpg"}),
            "picture \"12\" #2 in cell 7, http://h/a.jpg");
  EXPECT_EQ(described("why", PictureContext{"0", 1, 0, "http://h/w.jpg"}),
            "picture \"0\" #1 (held back), http://h/w.jpg: why");
  EXPECT_EQ(described("a\nb", PictureContext{std::string("1\0", 2), 1, 1,
                                             std::string("http://h/a\0b\x7F.jpg", 17)}),
            "picture \"1\\x00\" #1 in cell 1, http://h/a\\x00b\\x7F.jpg: a\\x0Ab");
}

}  // namespace
}  // namespace picsheet
