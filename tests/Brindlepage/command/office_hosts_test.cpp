// The stand-in hosts are laid out as the published type libraries of Word, Excel and PowerPoint lay out
// theirs: the active-document getters in the slots the add-in calls, Caption under each host's member id.
#include "command_support.h"
#include "fake_office.h"

#include <gtest/gtest.h>

namespace {

struct Layout {
    const IID* iid;
    const wchar_t* activeDocument;
    size_t slot;
    DISPID activeDocumentId;
    DISPID captionId;
};

// Looks a member up by name in the table part of the dual interface.
const FUNCDESC* findFunction(ITypeInfo* inInfo, const wchar_t* inName, UINT& outIndex)
{
    TYPEATTR* attr = nullptr;
    if (FAILED(inInfo->GetTypeAttr(&attr)))
        return nullptr;
    const UINT count = attr->cFuncs;
    inInfo->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* desc = nullptr;
        if (FAILED(inInfo->GetFuncDesc(i, &desc)))
            continue;
        BSTR name = nullptr;
        UINT names = 0;
        inInfo->GetNames(desc->memid, &name, 1, &names);
        const bool match = name && std::wstring(name) == inName;
        SysFreeString(name);
        if (match) {
            outIndex = i;
            return desc;
        }
        inInfo->ReleaseFuncDesc(desc);
    }
    return nullptr;
}

TEST(OfficeHosts, ApplicationsAreLaidOutAsTheHostsTypeLibraries)
{
    CommandTest::Apartment apartment;
    const Layout layouts[] = {
        {&IID_WordApplication, L"ActiveDocument", OfficeSlot::wordActiveDocument, 3, 80},
        {&IID_ExcelApplication, L"ActiveWorkbook", OfficeSlot::excelActiveWorkbook, 308, 139},
        {&IID_PowerPointApplication, L"ActivePresentation", OfficeSlot::powerPointActivePresentation, 2005, 2009},
    };
    for (const Layout& layout : layouts) {
        ITypeInfo* dispatch = FakeOffice::typeInfo(*layout.iid);
        ASSERT_NE(nullptr, dispatch);
        HREFTYPE ref = 0;
        ITypeInfo* table = nullptr;
        ASSERT_EQ(S_OK, dispatch->GetRefTypeOfImplType(UINT(-1), &ref));
        ASSERT_EQ(S_OK, dispatch->GetRefTypeInfo(ref, &table));
        UINT index = 0;
        const FUNCDESC* active = findFunction(table, layout.activeDocument, index);
        ASSERT_NE(nullptr, active) << CommandTest::narrow(layout.activeDocument);
        EXPECT_EQ(SHORT(layout.slot * sizeof(void*)), active->oVft) << CommandTest::narrow(layout.activeDocument);
        EXPECT_EQ(layout.activeDocumentId, active->memid);
        EXPECT_EQ(INVOKE_PROPERTYGET, active->invkind);
        table->ReleaseFuncDesc(const_cast<FUNCDESC*>(active));
        const FUNCDESC* caption = findFunction(table, L"Caption", index);
        ASSERT_NE(nullptr, caption);
        EXPECT_EQ(layout.captionId, caption->memid);
        table->ReleaseFuncDesc(const_cast<FUNCDESC*>(caption));
        table->Release();
        dispatch->Release();
    }
}

// The documents answer the add-in's slots and their own interface identifiers; the host's reference count
// comes back to what it was.
TEST(OfficeHosts, DocumentsServeTheirNameSlots)
{
    CommandTest::Apartment apartment;
    const struct {
        FakeOffice::HostKind kind;
        size_t nameSlot;
    } cases[] = {{FakeOffice::HostKind::word, OfficeSlot::wordDocumentName},
                 {FakeOffice::HostKind::excel, OfficeSlot::excelWorkbookName},
                 {FakeOffice::HostKind::powerPoint, OfficeSlot::powerPointPresentationName}};
    for (const auto& c : cases) {
        FakeOffice::HostSettings settings;
        settings.kind = c.kind;
        settings.documentName = L"Budget.xlsx";
        FakeOffice::Host host(settings);
        IDispatch* document = host.document();
        BSTR name = nullptr;
        EXPECT_EQ(S_OK, officeSlot<OfficeGetName>(document, c.nameSlot)(document, &name));
        EXPECT_EQ(std::wstring(L"Budget.xlsx"), name ? name : L"(null)");
        SysFreeString(name);
        EXPECT_EQ(1, host.documentReferences());
    }
}

} // namespace
