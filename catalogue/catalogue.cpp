#include "catalogue/catalogue.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace runsweep {

namespace {
constexpr std::size_t kMaxPoolChars = std::numeric_limits<std::uint32_t>::max();
} // namespace

std::wstring_view TextColumn::at(std::size_t i) const {
    if (i >= size_) {
        throw std::out_of_range("TextColumn::at: index out of range");
    }
    return (*this)[i];
}

const TextColumn::Slot* TextColumn::SlotAt(std::size_t i) const noexcept {
    if (i < slots_.size()) {
        return &slots_[i];
    }
    const auto it = std::lower_bound(sparse_.begin(), sparse_.end(), i,
                                     [](const SparseSlot& slot, std::size_t index) { return slot.index < index; });
    return it != sparse_.end() && it->index == i ? &it->slot : nullptr;
}

std::size_t TextColumn::NextFilled(std::size_t i) const noexcept {
    for (; i < slots_.size(); ++i) {
        if (slots_[i].length != 0) {
            return i;
        }
    }
    const auto it = std::lower_bound(sparse_.begin(), sparse_.end(), i,
                                     [](const SparseSlot& slot, std::size_t index) { return slot.index < index; });
    return it != sparse_.end() ? it->index : size_;
}

std::uint32_t TextColumn::Store(std::wstring_view text) {
    if (text.size() > kMaxPoolChars - pool_.size()) {
        throw std::length_error("TextColumn: more text than 4 Gi characters");
    }
    const auto offset = static_cast<std::uint32_t>(pool_.size());
    pool_.append(text.data(), text.size());
    return offset;
}

void TextColumn::Put(std::size_t i, Slot slot) {
    if (sparse_.empty() && i == slots_.size() && i == size_ - 1) {
        slots_.push_back(slot); // the filled run goes on
        return;
    }
    const auto it = std::lower_bound(sparse_.begin(), sparse_.end(), i,
                                     [](const SparseSlot& s, std::size_t index) { return s.index < index; });
    if (it != sparse_.end() && it->index == i) {
        if (slot.length == 0) {
            sparse_.erase(it);
        } else {
            it->slot = slot;
        }
    } else if (slot.length != 0) {
        sparse_.insert(it, SparseSlot{i, slot});
    }
}

void TextColumn::push_back(std::wstring_view text) {
    const Slot slot{Store(text), static_cast<std::uint32_t>(text.size())};
    ++size_;
    try {
        Put(size_ - 1, slot);
    } catch (...) {
        --size_;
        throw;
    }
}

void TextColumn::push_back_shared(std::size_t i) {
    if (i >= size_) {
        throw std::out_of_range("TextColumn::push_back_shared: index out of range");
    }
    const Slot* shared = SlotAt(i);
    const Slot slot = shared != nullptr ? *shared : Slot{0, 0};
    ++size_;
    try {
        Put(size_ - 1, slot);
    } catch (...) {
        --size_;
        throw;
    }
}

void TextColumn::Set(std::size_t i, std::wstring_view text) {
    if (i >= size_) {
        throw std::out_of_range("TextColumn::Set: index out of range");
    }
    const Slot slot{Store(text), static_cast<std::uint32_t>(text.size())};
    if (i < slots_.size()) {
        slots_[i] = slot;
    } else if (sparse_.empty() && i == slots_.size() && slot.length != 0) {
        slots_.push_back(slot); // the first slot past the filled run: the run goes on
    } else {
        Put(i, slot);
    }
}

void TextColumn::resize(std::size_t count) {
    if (count <= slots_.size()) {
        slots_.resize(count);
        sparse_.clear();
    } else {
        const auto it = std::lower_bound(sparse_.begin(), sparse_.end(), count,
                                         [](const SparseSlot& s, std::size_t index) { return s.index < index; });
        sparse_.erase(it, sparse_.end());
    }
    size_ = count;
}

void TextColumn::clear() noexcept {
    slots_.clear();
    slots_.shrink_to_fit();
    sparse_.clear();
    sparse_.shrink_to_fit();
    pool_.clear();
    pool_.shrink_to_fit();
    size_ = 0;
}

void TextColumn::reserve(std::size_t slot_count) {
    slots_.reserve(slot_count);
}

void TextColumn::reserve_text(std::size_t extra_chars) {
    const std::size_t room = kMaxPoolChars - pool_.size();
    pool_.reserve(pool_.size() + (extra_chars < room ? extra_chars : room));
}

void Catalogue::AppendEntry(std::wstring_view name, std::wstring_view description) {
    StartupNames.push_back(name);
    try {
        StartupDescriptions.push_back(description);
    } catch (...) {
        StartupNames.resize(StartupNames.size() - 1); // keep the arrays in step
        throw;
    }
}

void Catalogue::AppendPrefixEntry(std::wstring_view name, std::wstring_view description) {
    const std::size_t index = size();
    prefix_.resize(index + 1, false);
    try {
        AppendEntry(name, description);
    } catch (...) {
        prefix_.resize(index);
        throw;
    }
    prefix_[index] = true;
}

void Catalogue::Resize(std::size_t count) {
    const std::size_t before = StartupNames.size();
    StartupNames.resize(count);
    try {
        StartupDescriptions.resize(count);
    } catch (...) {
        StartupNames.resize(before); // keep the arrays in step
        throw;
    }
    if (prefix_.size() > count) {
        prefix_.resize(count); // a slot dropped and grown again must not come back as a pattern
    }
}

void Catalogue::SetEntry(std::size_t index, std::wstring_view name, std::wstring_view description) {
    StartupNames.Set(index, name);
    StartupDescriptions.Set(index, description);
    if (index < prefix_.size()) {
        prefix_[index] = false;
    }
}

void Catalogue::Clear() noexcept {
    StartupNames.clear();
    StartupDescriptions.clear();
    std::vector<bool>().swap(prefix_);
}

} // namespace runsweep
