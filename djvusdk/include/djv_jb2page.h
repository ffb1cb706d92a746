// The in-memory form of JB2 data: the shape list of a shared dictionary (a Djbz chunk) and of a page (an
// Sjbz chunk, with its size and the dictionary its shapes draw on).
#pragma once

#include "djv_jb2shape.h"
#include "mvx_referable.h"
#include "mvx_simplearray.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace JB2 {

class JB2ShapeStore : public Referable {
public:
    virtual const ShapeList& getShapes() const = 0;
    // For changing the list: drops the render index first.
    virtual ShapeList& getShapes() = 0;
    // Shrinks the list's block to its count; a page compacts its dictionary too.
    virtual void compact() = 0;
    // A page forgets which shapes cover which rows; a dictionary has nothing to drop.
    virtual void dropRenderIndex() = 0;

protected:
    JB2ShapeStore() {}
};

class JB2Dictionary : public JB2ShapeStore {
public:
    static AutoPtr<JB2Dictionary> create();

protected:
    JB2Dictionary() {}
};

class JB2Page : public JB2ShapeStore {
public:
    virtual uint32_t getWidth() const = 0;
    virtual uint32_t getHeight() const = 0;
    virtual bool hasFGbz() const = 0;
    virtual const JB2Dictionary* getDictionary() const = 0;
    // Drops the render index first: the dictionary's shapes may change through it.
    virtual JB2Dictionary* getDictionary() = 0;

    // An empty page of that size, without dictionary, shapes or colours.
    static AutoPtr<JB2Page> create(uint32_t inWidth, uint32_t inHeight);

protected:
    JB2Page() {}
};

} // namespace JB2
} // namespace DjVu
} // namespace Morvenix
