#include <gtest/gtest.h>

#include <cmath>

#include "path/filter.hpp"
#include "path/glob.hpp"

namespace quorbix::path {
namespace {

std::shared_ptr<const FilterExpr> compiled(std::string_view text) {
    auto r = compile_filter(text);
    EXPECT_TRUE(std::holds_alternative<std::shared_ptr<const FilterExpr>>(r)) << text;
    return std::get<std::shared_ptr<const FilterExpr>>(r);
}

TEST(CompileFilter, OperatorsAndValues) {
    auto f = compiled("b == 'x y'");
    EXPECT_EQ(f->op, FilterOp::Eq);
    EXPECT_EQ(std::get<std::string>(f->value), "x y");
    EXPECT_EQ(f->lhs.size(), 1u);

    EXPECT_EQ(compiled("a=<5")->op, FilterOp::Eq);
    EXPECT_EQ(std::get<std::string>(compiled("a=<5")->value), "<5");
    EXPECT_EQ(compiled("x%y=z")->op, FilterOp::Like);
    EXPECT_EQ(std::get<std::string>(compiled("x%y=z")->value), "y=z");
    EXPECT_EQ(std::get<std::string>(compiled("a===b")->value), "=b");
    EXPECT_EQ(compiled("a!=1")->op, FilterOp::Ne);
    EXPECT_EQ(compiled("a<=1")->op, FilterOp::Le);
    EXPECT_EQ(compiled("a>=1")->op, FilterOp::Ge);
    EXPECT_EQ(compiled("a<1")->op, FilterOp::Lt);
    EXPECT_EQ(compiled("a>1")->op, FilterOp::Gt);
    EXPECT_EQ(compiled("a!%1")->op, FilterOp::NotLike);
    EXPECT_EQ(compiled("'a=b'==1")->lhs[0].name, "'a=b'");

    EXPECT_EQ(std::get<double>(compiled("b==1.5e1")->value), 15.0);
    EXPECT_EQ(std::get<bool>(compiled("b==true")->value), true);
    EXPECT_EQ(std::get<bool>(compiled("b==false")->value), false);
    EXPECT_EQ(std::get<std::string>(compiled("b=='true'")->value), "true");
    EXPECT_EQ(std::get<std::string>(compiled("b==\"\"")->value), "");
    EXPECT_EQ(std::get<std::string>(compiled("b==")->value), "");
    EXPECT_EQ(std::get<std::string>(compiled("b=='it''s'")->value), "it''s");
    EXPECT_EQ(std::get<std::string>(compiled("b=='a\\*'")->value), "a*");
    EXPECT_EQ(std::get<std::string>(compiled("b==a\\*")->value), "a\\*");
    EXPECT_EQ(std::get<std::string>(compiled("b=='x")->value), "'x");

    EXPECT_EQ(compiled("@id==3")->shape, FilterShape::Attribute);
    EXPECT_EQ(compiled("@id==3")->lhs[0].name, "id");
    EXPECT_EQ(compiled("c.@id==3")->shape, FilterShape::General);
    EXPECT_EQ(compiled("c==3")->shape, FilterShape::OneChild);
    EXPECT_EQ(compiled("c.0==3")->shape, FilterShape::General);
    EXPECT_EQ(compiled("**c==3")->shape, FilterShape::General);
    EXPECT_TRUE(compiled(".==x")->lhs.empty());
    EXPECT_EQ(compiled(".==x")->shape, FilterShape::OwnText);
}

TEST(CompileFilter, Errors) {
    auto error = [](std::string_view text) {
        auto r = compile_filter(text);
        auto* e = std::get_if<PathError>(&r);
        return e ? error_text(*e) : "compiled";
    };
    EXPECT_EQ(error("x"), "filter expression missing operator: x");
    EXPECT_EQ(error("x!y"), "filter expression missing operator: !y");
    EXPECT_EQ(error("x!"), "filter expression missing operator: !");
    EXPECT_EQ(error(" ==1"), "empty path");
    EXPECT_EQ(error("'a==1'"), "filter expression missing operator: 'a==1'");
    EXPECT_EQ(error("@==1"), "@ must be followed by an attribute name");
    EXPECT_EQ(error("a.0.1==1"), "index without preceding name");
}

TEST(FilterCompare, NumbersStringsAndBools) {
    auto holds = [](std::string_view text, std::string_view filter) {
        auto f = compiled(filter);
        return filter_compare(text, f->op, f->value);
    };
    EXPECT_TRUE(holds(" 1.0 ", "b==1"));
    EXPECT_FALSE(holds(" 1.0 ", "b=='1'"));
    EXPECT_TRUE(holds("true", "b==true"));
    EXPECT_FALSE(holds(" true", "b==true"));
    EXPECT_TRUE(holds("false", "b==false"));
    EXPECT_TRUE(holds("x", "b!=true"));
    EXPECT_FALSE(holds("x", "b>2"));
    EXPECT_TRUE(holds("x", "b!=2"));
    EXPECT_TRUE(holds("11", "b>'10'"));
    EXPECT_FALSE(holds("11", "b>'ten'"));
    EXPECT_FALSE(holds("true", "b<true"));
    EXPECT_TRUE(holds("3", "b<=3"));
    EXPECT_TRUE(holds("-inf", "b<0"));
    EXPECT_FALSE(holds("nan", "b==nan"));
    EXPECT_TRUE(holds("nan", "b!=nan"));
    EXPECT_TRUE(holds("xyz", "b%'x*'"));
    EXPECT_FALSE(holds("axyz", "b%'x*'"));
    EXPECT_TRUE(holds("x", "b%x"));
    EXPECT_FALSE(holds("xy", "b%x"));
    EXPECT_TRUE(holds("axyz", "b!%'x*'"));
    EXPECT_FALSE(holds("5", "b%5"));
    EXPECT_FALSE(holds("5", "b!%5"));
    EXPECT_FALSE(holds("true", "b!%true"));
    EXPECT_TRUE(holds("a*", "b%a\\*"));
    EXPECT_FALSE(holds("ab", "b%a\\*"));
    EXPECT_TRUE(holds("p:x", "b%'p:*'"));
    EXPECT_TRUE(holds("", "b==''"));
}

TEST(Glob, WildcardsEscapesAndCodePoints) {
    EXPECT_TRUE(glob_match("*", "abc"));
    EXPECT_TRUE(glob_match("*", ""));
    EXPECT_TRUE(glob_match("", ""));
    EXPECT_FALSE(glob_match("", "a"));
    EXPECT_TRUE(glob_match("a?c", "abc"));
    EXPECT_FALSE(glob_match("a?c", "ac"));
    EXPECT_TRUE(glob_match("a\\*", "a*"));
    EXPECT_FALSE(glob_match("a\\*", "ab"));
    EXPECT_TRUE(glob_match("a\\", "a\\"));
    EXPECT_TRUE(glob_match("*b*d", "abcbd"));
    EXPECT_TRUE(glob_match("a*b*c", "aXbYbZc"));
    EXPECT_FALSE(glob_match("a*b*c", "aXbYbZ"));
    EXPECT_TRUE(glob_match("?", "é"));
    EXPECT_TRUE(glob_match("??", "日本"));
    EXPECT_FALSE(glob_match("?", "日本"));
    EXPECT_TRUE(glob_match("?", "\xFF"));
    EXPECT_FALSE(glob_match("A*", "abc"));
    EXPECT_TRUE(glob_match("**", ""));
    std::string long_subject(20000, 'a');
    EXPECT_FALSE(glob_match("*a*a*a*a*a*b", long_subject));
}

}  // namespace
}  // namespace quorbix::path
