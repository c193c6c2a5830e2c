#include "listbox/listbox_accessible_win.h"

#include "base/system_library_win.h"
#include "listbox/list_items.h"
#include "listbox/listbox_win.h"

#include <new>
#include <optional>
#include <string>

namespace runsweep {

namespace {

template <typename Function> Function Lookup(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

void SetChildId(VARIANT* out, long id) {
    out->vt = VT_I4;
    out->lVal = id;
}

} // namespace

const AccessibilityApi* LoadAccessibilityApi() {
    static const AccessibilityApi api = [] {
        AccessibilityApi loaded;
        // Loaded for the rest of the process: handed-out objects may be called until it ends.
        HMODULE oleacc = LoadSystemLibrary(L"oleacc.dll");
        HMODULE oleaut = LoadSystemLibrary(L"oleaut32.dll");
        loaded.lresultFromObject = Lookup<decltype(loaded.lresultFromObject)>(oleacc, "LresultFromObject");
        loaded.createStdAccessibleObject =
            Lookup<decltype(loaded.createStdAccessibleObject)>(oleacc, "CreateStdAccessibleObject");
        loaded.sysAllocString = Lookup<decltype(loaded.sysAllocString)>(oleaut, "SysAllocString");
        return loaded;
    }();
    return api.Loaded() ? &api : nullptr;
}

ListboxAccessible::ListboxAccessible(ListboxControl* control, IAccessible* standard,
                                     const AccessibilityApi& api) noexcept
    : control_(control), standard_(standard), api_(api) {
    if (standard_) {
        standard_->AddRef();
    }
}

ListboxAccessible::~ListboxAccessible() {
    if (standard_) {
        standard_->Release();
    }
}

void ListboxAccessible::Disconnect() noexcept {
    control_ = nullptr;
}

HRESULT ListboxAccessible::QueryInterface(REFIID riid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible)) {
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG ListboxAccessible::AddRef() {
    return ::InterlockedIncrement(reinterpret_cast<volatile LONG*>(&references_));
}

ULONG ListboxAccessible::Release() {
    const ULONG left = ::InterlockedDecrement(reinterpret_cast<volatile LONG*>(&references_));
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT ListboxAccessible::GetTypeInfoCount(UINT* count) {
    if (!count) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT ListboxAccessible::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT ListboxAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT ListboxAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

HRESULT ListboxAccessible::Resolve(const VARIANT& child, long* id) const {
    if (!control_) {
        return RPC_E_DISCONNECTED;
    }
    if (child.vt != VT_I4) {
        return E_INVALIDARG;
    }
    if (child.lVal != CHILDID_SELF && !ItemOfChildId(control_->Model(), child.lVal)) {
        return E_INVALIDARG;
    }
    *id = child.lVal;
    return S_OK;
}

HRESULT ListboxAccessible::Text(const wchar_t* text, BSTR* out) const {
    *out = api_.sysAllocString(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT ListboxAccessible::get_accParent(IDispatch** parent) {
    if (!parent) {
        return E_POINTER;
    }
    *parent = nullptr;
    if (!control_) {
        return RPC_E_DISCONNECTED;
    }
    return standard_ ? standard_->get_accParent(parent) : S_FALSE;
}

HRESULT ListboxAccessible::get_accChildCount(long* count) {
    if (!count) {
        return E_POINTER;
    }
    if (!control_) {
        return RPC_E_DISCONNECTED;
    }
    *count = ItemCount(control_->Model());
    return S_OK;
}

HRESULT ListboxAccessible::get_accChild(VARIANT child, IDispatch** object) {
    // Every item is a simple element without an object of its own.
    return NothingFor(child, object, S_FALSE);
}

HRESULT ListboxAccessible::get_accName(VARIANT child, BSTR* name) {
    long id = 0;
    if (const HRESULT hr = ResolveFor(child, name, &id); FAILED(hr)) {
        return hr;
    }
    if (id == CHILDID_SELF) {
        // The window's text, as the host named the list; without one, whatever the system makes of
        // the list's surroundings.
        std::wstring own(static_cast<std::size_t>(::GetWindowTextLengthW(control_->Window())) + 1, L'\0');
        own.resize(
            static_cast<std::size_t>(::GetWindowTextW(control_->Window(), own.data(), static_cast<int>(own.size()))));
        if (!own.empty()) {
            return Text(own.c_str(), name);
        }
        return standard_ ? standard_->get_accName(child, name) : S_FALSE;
    }
    const std::optional<ListItem> item = DescribeItem(control_->Model(), id, false);
    return Text(item->name.c_str(), name);
}

HRESULT ListboxAccessible::get_accValue(VARIANT child, BSTR* value) {
    return NothingFor(child, value, DISP_E_MEMBERNOTFOUND);
}

HRESULT ListboxAccessible::get_accDescription(VARIANT child, BSTR* description) {
    long id = 0;
    if (const HRESULT hr = ResolveFor(child, description, &id); FAILED(hr)) {
        return hr;
    }
    if (id == CHILDID_SELF) {
        return S_FALSE;
    }
    // A box's caption alone does not say which entry it acts on; its row's value name does.
    const std::optional<ListItem> item = DescribeItem(control_->Model(), id, false);
    if (item->role != ItemRole::CheckBox) {
        return S_FALSE;
    }
    return Text(control_->Model().GetValue(item->row).c_str(), description);
}

HRESULT ListboxAccessible::get_accRole(VARIANT child, VARIANT* role) {
    long id = 0;
    if (const HRESULT hr = ResolveFor(child, role, &id); FAILED(hr)) {
        return hr;
    }
    if (id == CHILDID_SELF) {
        SetChildId(role, ROLE_SYSTEM_LIST);
        return S_OK;
    }
    const std::optional<ListItem> item = DescribeItem(control_->Model(), id, false);
    SetChildId(role, item->role == ItemRole::CheckBox ? ROLE_SYSTEM_CHECKBUTTON : ROLE_SYSTEM_STATICTEXT);
    return S_OK;
}

HRESULT ListboxAccessible::get_accState(VARIANT child, VARIANT* state) {
    long id = 0;
    if (const HRESULT hr = ResolveFor(child, state, &id); FAILED(hr)) {
        return hr;
    }
    if (id == CHILDID_SELF) {
        if (standard_) {
            return standard_->get_accState(child, state);
        }
        SetChildId(state, STATE_SYSTEM_FOCUSABLE);
        return S_OK;
    }
    const ListModel& model = control_->Model();
    const std::optional<ListItem> item = DescribeItem(model, id, control_->HasFocus());
    long flags = 0;
    if (item->role == ItemRole::CheckBox) {
        flags |= STATE_SYSTEM_FOCUSABLE;
        if (item->checked) {
            flags |= STATE_SYSTEM_CHECKED;
        }
        if (item->focused) {
            flags |= STATE_SYSTEM_FOCUSED;
        }
    } else {
        flags |= STATE_SYSTEM_READONLY | STATE_SYSTEM_SELECTABLE;
        if (item->selected) {
            flags |= STATE_SYSTEM_SELECTED;
        }
    }
    if (!ItemInView(model, *item)) {
        flags |= STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN;
    }
    SetChildId(state, flags);
    return S_OK;
}

HRESULT ListboxAccessible::get_accHelp(VARIANT child, BSTR* help) {
    return NothingFor(child, help, S_FALSE);
}

HRESULT ListboxAccessible::get_accHelpTopic(BSTR* file, VARIANT child, long* topic) {
    if (file) {
        *file = nullptr;
    }
    if (topic) {
        *topic = 0;
    }
    long id = 0;
    const HRESULT hr = Resolve(child, &id);
    return FAILED(hr) ? hr : S_FALSE;
}

HRESULT ListboxAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) {
    return NothingFor(child, shortcut, S_FALSE);
}

HRESULT ListboxAccessible::get_accFocus(VARIANT* child) {
    if (!child) {
        return E_POINTER;
    }
    Clear(child);
    if (!control_) {
        return RPC_E_DISCONNECTED;
    }
    if (!control_->HasFocus()) {
        return S_FALSE;
    }
    const ListModel& model = control_->Model();
    if (model.ListCount() == 0) {
        SetChildId(child, CHILDID_SELF);
    } else {
        SetChildId(child, ChildIdOf(model, model.FocusRow(),
                                    static_cast<RowElement>(static_cast<int>(RowElement::Disable) +
                                                            static_cast<int>(model.FocusBox()))));
    }
    return S_OK;
}

HRESULT ListboxAccessible::get_accSelection(VARIANT* children) {
    if (!children) {
        return E_POINTER;
    }
    Clear(children);
    if (!control_) {
        return RPC_E_DISCONNECTED;
    }
    const ListModel& model = control_->Model();
    if (!model.HighlightVisible()) {
        return S_FALSE;
    }
    SetChildId(children, ChildIdOf(model, model.SelectedItem(), RowElement::ValueName));
    return S_OK;
}

HRESULT ListboxAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
    long id = 0;
    if (const HRESULT hr = ResolveFor(child, action, &id); FAILED(hr)) {
        return hr;
    }
    if (id == CHILDID_SELF) {
        return S_FALSE;
    }
    const std::optional<ListItem> item = DescribeItem(control_->Model(), id, false);
    return Text(item->role == ItemRole::CheckBox ? L"Check" : L"Select", action);
}

HRESULT ListboxAccessible::accSelect(long flags, VARIANT child) {
    long id = 0;
    if (const HRESULT hr = Resolve(child, &id); FAILED(hr)) {
        return hr;
    }
    if (id == CHILDID_SELF) {
        return standard_ ? standard_->accSelect(flags, child) : S_FALSE;
    }
    if (flags & ~(SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION)) {
        return E_INVALIDARG;
    }
    const std::optional<RowHit> hit = ItemOfChildId(control_->Model(), id);
    if (flags & SELFLAG_TAKESELECTION) {
        try {
            control_->SelectRow(hit->row);
        } catch (...) {
            return E_FAIL;
        }
    }
    if (flags & SELFLAG_TAKEFOCUS) {
        ::SetFocus(control_->Window());
    }
    return S_OK;
}

HRESULT ListboxAccessible::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
    if (!left || !top || !width || !height) {
        return E_POINTER;
    }
    *left = *top = *width = *height = 0;
    long id = 0;
    if (const HRESULT hr = Resolve(child, &id); FAILED(hr)) {
        return hr;
    }
    if (id == CHILDID_SELF) {
        return standard_ ? standard_->accLocation(left, top, width, height, child) : S_FALSE;
    }
    const std::optional<RowHit> hit = ItemOfChildId(control_->Model(), id);
    RECT r = control_->ElementPixels(hit->row, hit->element);
    ::MapWindowPoints(control_->Surface(), nullptr, reinterpret_cast<POINT*>(&r), 2);
    *left = r.left;
    *top = r.top;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return S_OK;
}

HRESULT ListboxAccessible::accNavigate(long direction, VARIANT start, VARIANT* end) {
    if (!end) {
        return E_POINTER;
    }
    Clear(end);
    long id = 0;
    if (const HRESULT hr = Resolve(start, &id); FAILED(hr)) {
        return hr;
    }
    const long count = ItemCount(control_->Model());
    long target = 0;
    if (id == CHILDID_SELF) {
        if (direction == NAVDIR_FIRSTCHILD) {
            target = count > 0 ? 1 : 0;
        } else if (direction == NAVDIR_LASTCHILD) {
            target = count;
        } else {
            return standard_ ? standard_->accNavigate(direction, start, end) : S_FALSE;
        }
    } else if (direction == NAVDIR_NEXT) {
        target = id < count ? id + 1 : 0;
    } else if (direction == NAVDIR_PREVIOUS) {
        target = id > 1 ? id - 1 : 0;
    } else if (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD) {
        return E_INVALIDARG;
    }
    if (target == 0) {
        return S_FALSE;
    }
    SetChildId(end, target);
    return S_OK;
}

HRESULT ListboxAccessible::accHitTest(long left, long top, VARIANT* child) {
    if (!child) {
        return E_POINTER;
    }
    Clear(child);
    if (!control_) {
        return RPC_E_DISCONNECTED;
    }
    RECT window{};
    ::GetWindowRect(control_->Window(), &window);
    const POINT screen{left, top};
    if (!::PtInRect(&window, screen)) {
        return S_FALSE;
    }
    POINT at = screen;
    ::ScreenToClient(control_->Surface(), &at);
    // The icon is no item: a point on it, or on bare background, is the list itself.
    const std::optional<RowHit> hit = control_->HitAt(at);
    const long item = hit ? ChildIdOf(control_->Model(), hit->row, hit->element) : 0;
    const long id = item != 0 ? item : CHILDID_SELF;
    SetChildId(child, id);
    return S_OK;
}

HRESULT ListboxAccessible::accDoDefaultAction(VARIANT child) {
    long id = 0;
    if (const HRESULT hr = Resolve(child, &id); FAILED(hr)) {
        return hr;
    }
    if (id == CHILDID_SELF) {
        return DISP_E_MEMBERNOTFOUND;
    }
    const std::optional<RowHit> hit = ItemOfChildId(control_->Model(), id);
    // Nothing may unwind into the client's call.
    try {
        switch (hit->element) {
        case RowElement::Disable:
        case RowElement::Remove:
        case RowElement::NoAction:
            control_->ChooseBox(
                hit->row, static_cast<RowBox>(static_cast<int>(hit->element) - static_cast<int>(RowElement::Disable)));
            break;
        default:
            control_->SelectRow(hit->row);
            break;
        }
    } catch (...) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT ListboxAccessible::put_accName(VARIANT, BSTR) {
    return E_NOTIMPL;
}

HRESULT ListboxAccessible::put_accValue(VARIANT, BSTR) {
    return E_NOTIMPL;
}

} // namespace runsweep
