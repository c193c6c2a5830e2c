#pragma once
// The startup catalogue: two parallel text arrays, StartupNames and
// StartupDescriptions. BuildCatalogue fills two built-in tables: the 101 original entries at
// indices 0 to 100, then the table of today's programs (catalogue/current_programs.txt, compiled
// in) from index 101 on. The custom list (custom_list.h) appends one slot per line of custom.txt
// from FirstCustomIndex() on.
//
// An entry of today's programs may be a prefix pattern: its name (stored without the '*' the data
// file ends it with) matches every value name that starts with it, as the registry compares names
// (MatchesPrefix in registry/name_case.h). Only that table has patterns; custom names are exact.
//
// Slots of skipped custom lines stay in the catalogue, empty, so that line i keeps index
// FirstCustomIndex() + i.
// They are never to be looked up: an empty name would match a Run key's unnamed default value.
// Walk the catalogue with Catalogue::Entries(), which visits only entries with a name.
//
//     for (const CatalogueEntry& entry : catalogue.Entries()) {
//         // entry.index, entry.name, entry.description (views into the catalogue), entry.prefix
//     }
//
// Texts are UTF-16 on Windows (wchar_t). Views handed out stay valid until the catalogue is next
// changed; after start-up it is only read.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace runsweep {

// Number of the original built-in entries (indices 0 to 100).
inline constexpr std::size_t kBuiltInCount = 101;

// Number of entries in the table of today's programs, which follows the original entries.
std::size_t CurrentProgramCount() noexcept;

// Index of the first custom-list entry: just after both built-in tables.
std::size_t FirstCustomIndex() noexcept;

// A compact, growable array of texts: one character pool and an (offset, length) pair per slot, so
// an empty slot costs 8 bytes. Several slots may share one stored text (see push_back_shared).
// Slots past the first gap (a resize that grows, a Set beyond the end of the filled run) are kept
// only where they hold text, so a long run of empty slots costs nothing: the custom list of a file
// of empty lines keeps every line's index without a slot for each.
class TextColumn {
public:
    // Number of slots.
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }

    // The text of slot i (i < size(), not checked). Valid until the column is next changed.
    std::wstring_view operator[](std::size_t i) const noexcept {
        const Slot* slot = SlotAt(i);
        return slot != nullptr ? std::wstring_view(pool_.data() + slot->offset, slot->length) : std::wstring_view();
    }
    // As operator[], but throws std::out_of_range for i >= size().
    std::wstring_view at(std::size_t i) const;
    // True when slot i (i < size(), not checked) holds the empty text.
    bool IsEmptyAt(std::size_t i) const noexcept {
        const Slot* slot = SlotAt(i);
        return slot == nullptr || slot->length == 0;
    }
    // The first slot at or after i that holds text, or size() when there is none.
    std::size_t NextFilled(std::size_t i) const noexcept;
    // The slots that take memory: every slot of the filled run at the start, and past it only those
    // that hold text.
    std::size_t KeptSlots() const noexcept { return slots_.size() + sparse_.size(); }

    // Appends a slot holding a copy of text.
    void push_back(std::wstring_view text);
    // Appends a slot that shares the stored text of slot i (i < size(), checked).
    void push_back_shared(std::size_t i);
    // Replaces the text of slot i (i < size(), checked). The old text's storage is not reclaimed.
    void Set(std::size_t i, std::wstring_view text);
    // Grows with empty slots, or drops slots from the end (their storage is not reclaimed).
    void resize(std::size_t count);
    // Removes every slot and frees the pool.
    void clear() noexcept;
    // Reserves room for slot_count slots in all.
    void reserve(std::size_t slot_count);
    // Reserves room for extra_chars more characters of stored text.
    void reserve_text(std::size_t extra_chars);

private:
    struct Slot {
        std::uint32_t offset;
        std::uint32_t length;
    };
    struct SparseSlot {
        std::size_t index;
        Slot slot;
    };
    std::uint32_t Store(std::wstring_view text); // appends text to the pool, returns its offset
    const Slot* SlotAt(std::size_t i) const noexcept;
    void Put(std::size_t i, Slot slot); // slot i, i >= slots_.size()

    std::wstring pool_;
    std::vector<Slot> slots_;        // slots 0 to slots_.size() - 1
    std::vector<SparseSlot> sparse_; // the later slots that hold text, by ascending index
    std::size_t size_ = 0;
};

// One catalogue entry, as Catalogue::Entries() yields it.
struct CatalogueEntry {
    std::size_t index;
    std::wstring_view name;
    std::wstring_view description;
    // True for a prefix pattern of today's programs: name is the text before the pattern's '*'.
    bool prefix = false;
};

struct Catalogue {
    // The two parallel arrays; always the same size. Read them freely; change
    // the catalogue only through the member functions below, which keep the two in step.
    TextColumn StartupNames;
    TextColumn StartupDescriptions;

    // Number of slots, empty ones included: the top index is size() - 1.
    std::size_t size() const noexcept { return StartupNames.size(); }

    // Appends one entry (name and description copied).
    void AppendEntry(std::wstring_view name, std::wstring_view description);
    // Appends one prefix pattern: name is the text the matching value names start with.
    void AppendPrefixEntry(std::wstring_view name, std::wstring_view description);
    // True when the entry at index is a prefix pattern (false for any index out of range).
    bool IsPrefixAt(std::size_t index) const noexcept { return index < prefix_.size() && prefix_[index]; }
    // Resizes both arrays, keeping their contents; new slots are empty (name and description "").
    void Resize(std::size_t count);
    // Sets the entry at index (index < size(), checked) as an exact name.
    void SetEntry(std::size_t index, std::wstring_view name, std::wstring_view description);
    // Empties the catalogue.
    void Clear() noexcept;

    // The entries whose name is not empty, in ascending index order. Empty slots are skipped
    // without looking at their text, and runs of them past the built-in tables without visiting
    // them one by one.
    class EntryRange;
    EntryRange Entries() const noexcept;

private:
    // Pattern flags by index; indices past its end are exact names. Only the built-in table of
    // today's programs sets any, so it stays as short as that table however the custom list grows.
    std::vector<bool> prefix_;
};

class Catalogue::EntryRange {
public:
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = CatalogueEntry;
        using difference_type = std::ptrdiff_t;
        using pointer = const CatalogueEntry*;
        using reference = CatalogueEntry;

        iterator() noexcept = default;
        CatalogueEntry operator*() const noexcept {
            return CatalogueEntry{index_, catalogue_->StartupNames[index_], catalogue_->StartupDescriptions[index_],
                                  catalogue_->IsPrefixAt(index_)};
        }
        iterator& operator++() noexcept {
            ++index_;
            SkipEmpty();
            return *this;
        }
        iterator operator++(int) noexcept {
            iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const iterator& other) const noexcept { return index_ == other.index_; }
        bool operator!=(const iterator& other) const noexcept { return index_ != other.index_; }

    private:
        friend class EntryRange;
        iterator(const Catalogue* catalogue, std::size_t index) noexcept : catalogue_(catalogue), index_(index) {
            SkipEmpty();
        }
        void SkipEmpty() noexcept { index_ = catalogue_->StartupNames.NextFilled(index_); }
        const Catalogue* catalogue_ = nullptr;
        std::size_t index_ = 0;
    };

    explicit EntryRange(const Catalogue& catalogue) noexcept : catalogue_(&catalogue) {}
    iterator begin() const noexcept { return iterator(catalogue_, 0); }
    iterator end() const noexcept { return iterator(catalogue_, catalogue_->size()); }

private:
    const Catalogue* catalogue_;
};

inline Catalogue::EntryRange Catalogue::Entries() const noexcept {
    return EntryRange(*this);
}

// Discards whatever the catalogue held and fills indices 0 to 100 with the original built-in
// entries, then indices 101 to FirstCustomIndex() - 1 with today's programs in file order.
// Descriptions shared by a group of original entries are stored once.
void BuildCatalogue(Catalogue& catalogue);

} // namespace runsweep
