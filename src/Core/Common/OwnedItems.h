#pragma once
#include <cstddef>
#include <iterator>

// Walks a container of owning pointers and hands out the items themselves, so a list that owns its records
// can be enumerated with a plain range-for without exposing how it holds them.
template <typename Iter, typename Item> class TOwnedIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Item;
    using difference_type = std::ptrdiff_t;
    using pointer = Item*;
    using reference = Item&;

    TOwnedIterator() = default;
    TOwnedIterator(Iter it) : it_(it) {}

    Item& operator*() const { return **it_; }
    Item* operator->() const { return &**it_; }
    TOwnedIterator& operator++() {
        ++it_;
        return *this;
    }
    TOwnedIterator operator++(int) {
        TOwnedIterator old = *this;
        ++it_;
        return old;
    }
    bool operator==(const TOwnedIterator& other) const = default;

private:
    Iter it_{};
};
