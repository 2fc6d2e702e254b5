#include "engine/element_json.hpp"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/element_text.hpp"
#include "engine/reads/element_walk.hpp"
#include "engine/reads/walk_entities.hpp"
#include "text/white_space.hpp"
#include "xml/character_data.hpp"

namespace quorbix::engine {
namespace {

// One element of the tree the JSON is written from; elements are kept in
// one vector and point to their children by index.
struct Node {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;
    std::vector<std::size_t> children;
};

// Builds the tree of one element: its nodes, the element first.
class TreeReader : public ElementVisitor {
  public:
    TreeReader(xml::Encoding encoding, const xml::Entities* entities, std::size_t size)
        : encoding_(encoding), entities_(entities, encoding, size) {}

    std::vector<Node> take() { return std::move(nodes_); }

    bool start(const xml::XmlEvent& tag, std::size_t, std::size_t, std::size_t) {
        add(tag);
        open_.push_back(nodes_.size() - 1);
        return true;
    }
    bool empty(const xml::XmlEvent& tag, std::size_t, std::size_t, std::size_t) {
        add(tag);
        return true;
    }
    bool end(std::size_t, std::size_t, std::size_t) {
        open_.pop_back();
        return true;
    }
    bool text(std::string_view raw, std::size_t) {
        xml::append_character_data(raw, encoding_, nodes_[open_.back()].text, entities_.get());
        return true;
    }
    bool cdata(std::string_view content, std::size_t) {
        xml::append_cdata(content, encoding_, nodes_[open_.back()].text);
        return true;
    }
    bool doctype(std::string_view markup, std::size_t lt) {
        entities_.declare(markup, lt);
        return true;
    }

  private:
    void add(const xml::XmlEvent& tag) {
        Node node;
        node.name = xml::utf8_name(tag.name(), encoding_, scratch_);
        for_each_attribute(tag, encoding_, entities_.get(),
                           [&](std::string_view name, std::string value) {
                               std::string key = "@";
                               key += name;
                               node.attributes.emplace_back(std::move(key), std::move(value));
                           });
        if (!open_.empty()) nodes_[open_.back()].children.push_back(nodes_.size());
        nodes_.push_back(std::move(node));
    }

    xml::Encoding encoding_;
    WalkEntities entities_;
    std::vector<Node> nodes_;
    std::vector<std::size_t> open_;  // the open elements' nodes, innermost last
    std::string scratch_;
};

std::vector<Node> read_tree(std::string_view element, xml::Encoding encoding,
                            const xml::Entities* entities) {
    TreeReader reader(encoding, entities, element.size());
    walk_element(element, encoding, reader);
    return reader.take();
}

// The group of each child name of one node: found by a walk over the few
// names most elements have, and through a hash map once they are many, so
// that a million distinct children cost a million lookups, not a million
// squared.
class GroupIndex {
  public:
    // The group of `name`: an earlier one, or else the next number, which
    // `name` then holds.
    std::size_t group_of(std::string_view name) {
        if (map_.empty()) {
            auto it = std::find(names_.begin(), names_.end(), name);
            if (it != names_.end()) return static_cast<std::size_t>(it - names_.begin());
            if (names_.size() < kFew) {
                names_.push_back(name);
                return names_.size() - 1;
            }
            for (std::size_t g = 0; g < names_.size(); ++g) map_.emplace(names_[g], g);
        }
        auto [it, added] = map_.try_emplace(name, names_.size());
        if (added) names_.push_back(name);
        return it->second;
    }

  private:
    static constexpr std::size_t kFew = 8;
    std::vector<std::string_view> names_;
    std::unordered_map<std::string_view, std::size_t> map_;
};

// A node's children grouped by name, each group where its first child stood.
std::vector<std::vector<std::size_t>> groups_of(const std::vector<Node>& nodes, const Node& node) {
    std::vector<std::vector<std::size_t>> groups;
    GroupIndex index;
    for (std::size_t child : node.children) {
        std::size_t group = index.group_of(nodes[child].name);
        if (group == groups.size()) groups.emplace_back();
        groups[group].push_back(child);
    }
    return groups;
}

class JsonWriter {
  public:
    explicit JsonWriter(const std::vector<Node>& nodes) : nodes_(nodes) {}

    std::string write() {
        if (nodes_.empty()) return "null";
        start(0);
        while (!frames_.empty()) step();
        return std::move(out_);
    }

  private:
    // An object being written: its node, its groups, and how far it got.
    struct Frame {
        std::size_t node;
        std::vector<std::vector<std::size_t>> groups;
        std::size_t group = 0, item = 0;
        bool comma = false;
    };

    // Writes a leaf at once, or opens the object of any other node.
    void start(std::size_t index) {
        const Node& node = nodes_[index];
        std::string_view text = text::trim_white_space(node.text);
        if (node.attributes.empty() && node.children.empty()) {
            if (text.empty())
                out_ += "null";
            else
                append_json_string(out_, text);
            return;
        }
        out_ += '{';
        Frame frame{index, groups_of(nodes_, node)};
        for (const auto& [key, value] : node.attributes) {
            if (frame.comma) out_ += ',';
            frame.comma = true;
            append_json_string(out_, key);
            out_ += ':';
            append_json_string(out_, value);
        }
        frames_.push_back(std::move(frame));
    }

    // Writes the next child of the innermost open object, or closes it.
    void step() {
        Frame& f = frames_.back();
        if (f.group == f.groups.size()) {
            std::string_view text = text::trim_white_space(nodes_[f.node].text);
            if (!text.empty()) {
                if (f.comma) out_ += ',';
                out_ += "\"#text\":";
                append_json_string(out_, text);
            }
            out_ += '}';
            frames_.pop_back();
            close_lists();
            return;
        }
        const std::vector<std::size_t>& group = f.groups[f.group];
        bool list = group.size() > 1;
        if (f.item == 0) {
            if (f.comma) out_ += ',';
            f.comma = true;
            append_json_string(out_, nodes_[group.front()].name);
            out_ += list ? ":[" : ":";
        } else {
            out_ += ',';
        }
        std::size_t child = group[f.item++];
        std::size_t depth = frames_.size();
        start(child);
        if (frames_.size() == depth) close_lists();  // a leaf: written whole
    }

    // After a child is written whole: ends its group's list when it was the
    // group's last, and moves the parent on to its next group.
    void close_lists() {
        if (frames_.empty()) return;
        Frame& f = frames_.back();
        const std::vector<std::size_t>& group = f.groups[f.group];
        if (f.item < group.size()) return;
        if (group.size() > 1) out_ += ']';
        ++f.group;
        f.item = 0;
    }

    const std::vector<Node>& nodes_;
    std::vector<Frame> frames_;
    std::string out_;
};

}  // namespace

void append_json_string(std::string& out, std::string_view utf8) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (char c : utf8) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

std::string element_json(std::string_view element, xml::Encoding encoding,
                         const xml::Entities* entities) {
    return JsonWriter(read_tree(element, encoding, entities)).write();
}

}  // namespace quorbix::engine
