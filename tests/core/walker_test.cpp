// The tag walker reports exactly the reader's events, at the reader's
// offsets, with every classifier this processor runs: over generated
// documents whose tags, quotes and markup fall at every place of a block.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "fuzz/tag_trace.hpp"

namespace quorbix::xml {
namespace {

// Pieces chosen to stress the walk: quoted '>' and '<' (within and across
// blocks, each quote inside the other), text '>', tags longer than a block,
// white space before '>' and after names, every kind of markup, internal
// subsets whose "]>" ends nothing, and pieces that leave markup (or a
// subset) open.
const char* const pieces[] = {
    "<a>",
    "</a>",
    "<a/>",
    "<a />",
    "<bb x=\"1\">",
    "<bb x='>'>",
    "<c y=\"<\" z='\"'>",
    "</bb >",
    "</c\t>",
    "text",
    " > ",
    "\"'",
    "\n",
    "<!-- c > -->",
    "<![CDATA[ <x> ]]>",
    "<?pi a>b ?>",
    "<!DOCTYPE d [<!ELEMENT d ANY>]>",
    "<!DOCTYPE d [<!-- ]> <a> --><?p ]> ?>]>",
    "<!DOCTYPE d SYSTEM 's]>' [<!ENTITY e \"]><a>\"><!ATTLIST a b CDATA ']>'> %e; ]>",
    "<!DOCTYPE d [",
    "]>",
    "<long attribute=\"................"
    "..................................................\" other='x'>",
    "<q a=\"it's > \" b='\"> \"' c=\"<\">",
    "<w v=\"....................................>"
    "....................................\">",
    "<n\r\na='1'\n/>",
    "</>",
    "<>",
    "<",
    "<a",
    "<!x>",
    "<!DOCTYPE>",
    "&amp;",
};

std::string generated_document(std::mt19937& random) {
    std::string doc = random() % 8 == 0 ? "\xEF\xBB\xBF" : "";
    std::size_t count = random() % 40;
    for (std::size_t i = 0; i < count; ++i) {
        doc += pieces[random() % std::size(pieces)];
        // Moves what follows in its block; now and then text runs over blocks.
        doc.append(random() % 8 == 0 ? 200 : random() % 70, random() % 2 ? ' ' : 'x');
    }
    return doc;
}

TEST(TagWalker, ReportsTheReadersEventsWithEveryClassifier) {
    std::mt19937 random(7);
    Classifier before = active_classifier();
    for (int round = 0; round < 3000; ++round) {
        std::string doc = generated_document(random);
        std::string expected = fuzz::reader_trace(doc);
        for (Classifier c :
             {Classifier::ByteWise, Classifier::Sse2, Classifier::Avx2, Classifier::Avx512}) {
            if (!use_classifier(c)) continue;
            ASSERT_EQ(fuzz::walker_trace(doc), expected) << "classifier " << int(c) << ": " << doc;
        }
    }
    use_classifier(before);
}

}  // namespace
}  // namespace quorbix::xml
