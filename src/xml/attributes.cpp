#include "xml/attributes.hpp"

#include <cstring>

#include "xml/char_class.hpp"

namespace quorbix::xml {
namespace {

const char* skip_space(const char* p, const char* end) {
    while (p < end && is_space(*p)) ++p;
    return p;
}

const char* skip_to_space(const char* p, const char* end) {
    while (p < end && !is_space(*p)) ++p;
    return p;
}

}  // namespace

bool AttributeIter::seen_before(std::string_view key) {
    if (key_count_ < listed_keys) {
        for (std::size_t i = 0; i < key_count_; ++i)
            if (keys_[i] == key) return true;
        keys_[key_count_++] = key;
        return false;
    }
    if (key_set_.empty()) key_set_.insert(keys_.begin(), keys_.end());
    return !key_set_.insert(key).second;
}

bool AttributeIter::next(Attribute& out) {
    const char* p = skip_space(p_, end_);
    if (p == end_) {
        p_ = p;
        return false;
    }
    const char* key_start = p;
    while (p < end_ && *p != '=' && !is_space(*p)) ++p;
    out.key = std::string_view(key_start, p - key_start);
    out.value = {};
    out.ok = false;

    p = skip_space(p, end_);
    if (p == end_ || *p != '=') {  // a key without '=': the next key starts here
        p_ = p;
        return true;
    }
    p = skip_space(p + 1, end_);
    if (p == end_ || (*p != '"' && *p != '\'')) {  // an unquoted value
        p_ = skip_to_space(p, end_);
        return true;
    }
    const char* close = static_cast<const char*>(std::memchr(p + 1, *p, end_ - p - 1));
    if (close == nullptr) {  // an unterminated value swallows the rest of the tag
        p_ = end_;
        return true;
    }
    out.value = std::string_view(p + 1, close - p - 1);
    p_ = close + 1;
    out.ok = !out.key.empty() && !seen_before(out.key);
    return true;
}

}  // namespace quorbix::xml
