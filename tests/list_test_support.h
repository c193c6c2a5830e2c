#pragma once
// A list model laid out as the main window lays out its list, with numbered rows.
#include "listbox/list_model.h"

#include <string>

namespace runsweep::list_test {

// The size the main window gives its list.
inline constexpr int kWidth = 9255;
inline constexpr int kHeight = 3855;

inline ListModel ListWith(int rows) {
    ListModel list;
    list.Layout(kWidth, kHeight);
    for (int i = 0; i < rows; ++i) {
        list.AddItem(L"value" + std::to_wstring(i), L"description " + std::to_wstring(i));
    }
    return list;
}

} // namespace runsweep::list_test
