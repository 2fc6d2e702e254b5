#include <gtest/gtest.h>

#include <limits>

#include "engine/scalar_text.hpp"

namespace quorbix::engine {
namespace {

TEST(ScalarText, ToInt) {
    EXPECT_EQ(text_to_int(" 42 "), 42);
    EXPECT_EQ(text_to_int("3.99"), 3);
    EXPECT_EQ(text_to_int("-3.99"), -3);
    EXPECT_EQ(text_to_int("1e3"), 1000);
    EXPECT_EQ(text_to_int("99999999999999999999"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(text_to_int("-1e300"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(text_to_int("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(text_to_int("inf"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(text_to_int("nan"), 0);
    EXPECT_EQ(text_to_int("abc"), 0);
    EXPECT_EQ(text_to_int(""), 0);
    EXPECT_EQ(text_to_int("\xFF"
                          "7"),
              0);  // not UTF-8: read as empty
    EXPECT_EQ(text_to_double("\u00A0 2.5\u3000"), 2.5);
    EXPECT_EQ(text_to_double("x"), 0.0);
}

TEST(ScalarText, BooleanTextsAndTypes) {
    for (const char* t :
         {"1", "true", "\"t\"", "\"T\"", "\"1\"", "\"true\"", "\"True\"", "\"TRUE\""})
        EXPECT_EQ(boolean_text(t), true) << t;
    for (const char* f :
         {"0", "false", "\"f\"", "\"F\"", "\"0\"", "\"false\"", "\"False\"", "\"FALSE\""})
        EXPECT_EQ(boolean_text(f), false) << f;
    for (const char* other : {"True", "TRUE", "yes", " 1", ""})
        EXPECT_FALSE(boolean_text(other)) << other;

    EXPECT_EQ(classify_scalar("42"), ScalarType::Int);
    EXPECT_EQ(classify_scalar("9223372036854775808"), ScalarType::Float);
    EXPECT_EQ(classify_scalar("nan"), ScalarType::Float);
    EXPECT_EQ(classify_scalar("0x10"), ScalarType::Str);
    EXPECT_EQ(classify_scalar(""), ScalarType::Str);
}

}  // namespace
}  // namespace quorbix::engine
