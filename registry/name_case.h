#pragma once
// Letter case of registry names. The registry compares key and value names by upper-casing each
// UTF-16 unit with the system's own table, which this program does not have. Two approximations:
//
// - RegistryUpcase: the in-memory registry's table (ASCII, Latin-1, Latin Extended-A, basic Greek
//   and Cyrillic, fullwidth Latin). It is a model; where it and the real registry disagree, the
//   contract tests say so and the model is wrong. Like the real one it maps only single letters to
//   single capitals: the micro sign, final sigma, dotless i and long s stay as they are.
// - MatchKey: the scan's index key. It must never tell apart two names that the real registry
//   holds equal, so it folds only units whose whole case class is known to lie within U+0000 to
//   U+017F, and turns every other unit into one wildcard unit. Equal keys make a name a candidate,
//   which one real query then confirms or rejects.
#include <string>
#include <string_view>

namespace runsweep {

wchar_t RegistryUpcase(wchar_t c) noexcept;
// True when the two names are equal under RegistryUpcase.
bool RegistryNamesEqual(std::wstring_view a, std::wstring_view b) noexcept;
std::wstring RegistryUpcase(std::wstring_view name);
// True when name begins with prefix, compared as RegistryNamesEqual compares.
bool RegistryNameStartsWith(std::wstring_view name, std::wstring_view prefix) noexcept;

// The match of a catalogue pattern ("MicrosoftEdgeAutoLaunch_" for every value named so plus a
// per-install tail): RegistryNameStartsWith, except that an empty prefix matches nothing, so that
// no pattern can take in every value of a Run key.
bool MatchesPrefix(std::wstring_view prefix, std::wstring_view valueName) noexcept;

// The unit that stands for every unit MatchKey does not fold.
inline constexpr wchar_t kMatchWildcard = static_cast<wchar_t>(0xFFFF);
std::wstring MatchKey(std::wstring_view name);

} // namespace runsweep
