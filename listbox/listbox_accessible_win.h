#pragma once
// The list's rows as accessible items for screen readers: the list answers WM_GETOBJECT with this
// object, whose children are each row's value name and description (static texts) and its three
// boxes (check buttons), numbered as ChildIdOf numbers them.
#include <windows.h>

#include <oleacc.h>

namespace runsweep {

class ListboxControl;

// The functions of oleacc.dll and oleaut32.dll the list needs, loaded on first use: most runs never
// meet an accessibility client, and start-up should not pay for loading them.
struct AccessibilityApi {
    decltype(&::LresultFromObject) lresultFromObject = nullptr;
    decltype(&::CreateStdAccessibleObject) createStdAccessibleObject = nullptr;
    decltype(&::SysAllocString) sysAllocString = nullptr;

    bool Loaded() const { return lresultFromObject && createStdAccessibleObject && sysAllocString; }
};
// Null when the system lacks the libraries.
const AccessibilityApi* LoadAccessibilityApi();

class ListboxAccessible final : public IAccessible {
public:
    // standard is the system's object for the list window (parent, own name and state); the new
    // object holds a reference to it. Starts with one reference, the caller's.
    ListboxAccessible(ListboxControl* control, IAccessible* standard, const AccessibilityApi& api) noexcept;
    ListboxAccessible(const ListboxAccessible&) = delete;
    ListboxAccessible& operator=(const ListboxAccessible&) = delete;

    // The control is going away; clients that still hold the object get errors from now on.
    void Disconnect() noexcept;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch: not offered; clients use the IAccessible methods.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(long left, long top, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;

private:
    ~ListboxAccessible();
    // S_OK with the child id (0 for the list itself), or the error to return.
    HRESULT Resolve(const VARIANT& child, long* id) const;
    HRESULT Text(const wchar_t* text, BSTR* out) const;
    // Checks and clears an out parameter, then resolves the child as Resolve does.
    template <typename T> HRESULT ResolveFor(const VARIANT& child, T* out, long* id) const {
        if (!out) {
            return E_POINTER;
        }
        Clear(out);
        return Resolve(child, id);
    }
    // What VariantInit does, without importing a library for it.
    static void Clear(VARIANT* out) noexcept { out->vt = VT_EMPTY; }
    template <typename T> static void Clear(T** out) noexcept { *out = nullptr; }
    // For what the items do not have: clears the out pointer and answers `none` for a valid child.
    template <typename T> HRESULT NothingFor(const VARIANT& child, T** out, HRESULT none) const {
        long id = 0;
        const HRESULT hr = ResolveFor(child, out, &id);
        return FAILED(hr) ? hr : none;
    }

    ULONG references_ = 1;
    ListboxControl* control_;
    IAccessible* standard_;
    const AccessibilityApi& api_;
};

} // namespace runsweep
