#include <gtest/gtest.h>

#include <string>

#include "app/message.h"

namespace {
bool format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const bool ok = formatMessage(fmt, args);
    va_end(args);
    return ok;
}
}  // namespace

TEST(Message, GuardAllowsAtMost1022Characters) {
    const std::string fits(1022, 'a');
    EXPECT_TRUE(format("%s", fits.c_str()));
    EXPECT_EQ(std::string(messageBuffer()), fits);
    const std::string tooLong(1023, 'b');
    EXPECT_FALSE(format("%s", tooLong.c_str()));
    EXPECT_TRUE(format("%.1f fps\n", 29.97));
    EXPECT_STREQ(messageBuffer(), "30.0 fps\n");
}

TEST(Message, ColoursTruncateAndDefaultsAreWhiteHelvetica10) {
    Message m(-0.9f, 0.9f);
    EXPECT_EQ(m.colour[0], 255);
    EXPECT_EQ(m.font, 6);
    m.setColor(0.0f, 1.0f, 0.999f);
    EXPECT_EQ(m.colour[0], 0);
    EXPECT_EQ(m.colour[1], 255);
    EXPECT_EQ(m.colour[2], 254);
    m.setPosition(-0.9f, -0.9f);
    EXPECT_FLOAT_EQ(m.y, -0.9f);
}

TEST(MessageDeathTest, TooLongATextStopsTheProgram) {
    const std::string tooLong(2000, 'c');
    EXPECT_DEATH(Message(0, 0).print("%s", tooLong.c_str()), "msg\\[1023\\]==1");
}
