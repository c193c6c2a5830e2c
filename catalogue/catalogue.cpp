#include "catalogue/catalogue.h"

#include <limits>
#include <stdexcept>

namespace runsweep {

namespace {
constexpr std::size_t kMaxPoolChars = std::numeric_limits<std::uint32_t>::max();
} // namespace

std::wstring_view TextColumn::at(std::size_t i) const {
    if (i >= slots_.size()) {
        throw std::out_of_range("TextColumn::at: index out of range");
    }
    return (*this)[i];
}

std::uint32_t TextColumn::Store(std::wstring_view text) {
    if (text.size() > kMaxPoolChars - pool_.size()) {
        throw std::length_error("TextColumn: more text than 4 Gi characters");
    }
    const auto offset = static_cast<std::uint32_t>(pool_.size());
    pool_.append(text.data(), text.size());
    return offset;
}

void TextColumn::push_back(std::wstring_view text) {
    const std::uint32_t offset = Store(text);
    slots_.push_back(Slot{offset, static_cast<std::uint32_t>(text.size())});
}

void TextColumn::push_back_shared(std::size_t i) {
    if (i >= slots_.size()) {
        throw std::out_of_range("TextColumn::push_back_shared: index out of range");
    }
    const Slot shared = slots_[i];
    slots_.push_back(shared);
}

void TextColumn::Set(std::size_t i, std::wstring_view text) {
    if (i >= slots_.size()) {
        throw std::out_of_range("TextColumn::Set: index out of range");
    }
    const std::uint32_t offset = Store(text);
    slots_[i] = Slot{offset, static_cast<std::uint32_t>(text.size())};
}

void TextColumn::resize(std::size_t count) {
    slots_.resize(count, Slot{0, 0});
}

void TextColumn::clear() noexcept {
    slots_.clear();
    slots_.shrink_to_fit();
    pool_.clear();
    pool_.shrink_to_fit();
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
