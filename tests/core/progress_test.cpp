// Long scans ask the thread's progress hook every few megabytes, and one it
// tells to stop winds up at once, as at the end of its input.
#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "engine/evaluator.hpp"
#include "engine/records.hpp"
#include "engine/validate.hpp"
#include "path/parser.hpp"
#include "xml/scan_progress.hpp"

namespace quorbix::engine {
namespace {

constexpr std::size_t rows = 18'000;

// 18.7 MB, so four progress checks; long texts keep the events few, so that
// the tests stay quick in a debug build.
const std::string& document() {
    static const std::string doc = [] {
        std::string row = "<row><a>1</a><b x='2'>" + std::string(1000, 't') + "</b></row>";
        std::string d = "<r>";
        for (std::size_t i = 0; i < rows; ++i) d += row;
        return d + "</r>";
    }();
    return doc;
}

// Answers go on `answers` times, then stop; counts the questions.
struct Hook {
    int answers;
    int asked = 0;
    static bool go_on(void* self) {
        auto* hook = static_cast<Hook*>(self);
        return ++hook->asked <= hook->answers;
    }
};

path::CompiledPathRef compiled(std::string_view text) {
    return std::get<path::CompiledPathRef>(path::compile_path(text));
}

std::string count_of(const path::CompiledPath& path) {
    auto outcome = evaluate_path(document(), xml::Encoding::Utf8, path, true);
    return std::get<Matches>(outcome).front().bytes;
}

std::size_t table_rows() {
    auto outcome = read_table(document(), xml::Encoding::Utf8, *compiled("r.row"),
                              {compiled("a").get(), compiled("b.@x").get()});
    return std::get<Table>(outcome).rows;
}

TEST(Progress, ScansThatGoOnAnswerInFull) {
    auto count = compiled("r.row.#.b|@count");
    Hook hook{1000};
    xml::ProgressHook installed(Hook::go_on, &hook);
    EXPECT_EQ(count_of(*count), std::to_string(rows));
    EXPECT_EQ(hook.asked, 4);
    EXPECT_TRUE(validate_document(document()));
    EXPECT_EQ(table_rows(), rows);
    EXPECT_FALSE(installed.stopped());
}

TEST(Progress, AStoppedScanWindsUpWithoutAskingAgain) {
    auto count = compiled("r.row.#.b|@count");
    auto skipped = compiled("x");  // the root is stepped over whole
    for (int answers : {0, 2}) {
        Hook hook{answers};
        xml::ProgressHook installed(Hook::go_on, &hook);
        EXPECT_LT(std::stoul(count_of(*count)), rows);
        EXPECT_TRUE(installed.stopped());
        EXPECT_EQ(hook.asked, answers + 1);
        EXPECT_TRUE(
            std::get<Matches>(evaluate_path(document(), xml::Encoding::Utf8, *skipped, true))
                .empty());
        EXPECT_LT(table_rows(), rows);
        EXPECT_EQ(hook.asked, answers + 1);
    }
    Hook hook{1};
    xml::ProgressHook installed(Hook::go_on, &hook);
    validate_document(document());
    EXPECT_TRUE(installed.stopped());
    EXPECT_EQ(hook.asked, 2);
}

TEST(Progress, ACheckInsideATagReadsOnPastIt) {
    std::string doc = "<r>" + std::string(xml::progress_interval - 13, 't') + "<a x='" +
                      std::string(50, 'v') + "'>1</a><a>2</a>" + std::string(4096, 't') +
                      "<b/></r>";
    Hook hook{1000};
    xml::ProgressHook installed(Hook::go_on, &hook);
    auto outcome = evaluate_path(doc, xml::Encoding::Utf8, *compiled("r.a|@count"), true);
    EXPECT_EQ(std::get<Matches>(outcome).front().bytes, "2");
    EXPECT_EQ(hook.asked, 1);
}

TEST(Progress, HooksNestAndSmallScansNeverAsk) {
    Hook outer{1000}, inner{0};
    xml::ProgressHook outer_installed(Hook::go_on, &outer);
    {
        xml::ProgressHook inner_installed(Hook::go_on, &inner);
        EXPECT_TRUE(validate_document("<r><a/></r>"));
        EXPECT_EQ(inner.asked, 0);
        validate_document(document());
        EXPECT_TRUE(inner_installed.stopped());
    }
    EXPECT_EQ(count_of(*compiled("r.row.#.b|@count")), std::to_string(rows));
    EXPECT_EQ(inner.asked, 1);
    EXPECT_FALSE(outer_installed.stopped());
}

}  // namespace
}  // namespace quorbix::engine
