// The general entities a walk over element bytes reads in their texts and
// values: those the element's document declares, given by the caller, or,
// when the bytes are a whole document, those its own DOCTYPE declares.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "xml/encoding/encoding.hpp"
#include "xml/entities.hpp"

namespace quorbix::engine {

class WalkEntities {
  public:
    // `size`: the walked bytes', which bound what references may expand to.
    WalkEntities(const xml::Entities* given, xml::Encoding encoding, std::size_t size)
        : entities_(given), encoding_(encoding), size_(size) {}

    const xml::Entities* get() const { return entities_; }
    // Those the DOCTYPE declared, for a reader that keeps them.
    const std::shared_ptr<const xml::Entities>& shared() const { return declared_; }

    // A DOCTYPE met at `lt`, before the document's element.
    void declare(std::string_view markup, std::size_t lt) {
        if (entities_ != nullptr) return;
        declared_ = xml::Entities::declared(markup, encoding_, lt, size_);
        entities_ = declared_.get();
    }

  private:
    const xml::Entities* entities_;
    std::shared_ptr<const xml::Entities> declared_;
    xml::Encoding encoding_;
    std::size_t size_;
};

}  // namespace quorbix::engine
