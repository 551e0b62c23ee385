#include "driver/common/interface_ids.h"
#include "driver/common/object_model.h"
#include "platform/kernel/pool.h"

#include <gtest/gtest.h>

namespace {

using kernel::Guid;
using kernel::IUnknown;
using kernel::NTSTATUS;

constexpr Guid IID_ITestPrimary = kernel::makeGuid("{6A2D8B10-0C3E-4F51-9E2A-7B1C0D3E4F50}");
constexpr Guid IID_ITestSecond = kernel::makeGuid("{6A2D8B10-0C3E-4F51-9E2A-7B1C0D3E4F51}");
constexpr Guid IID_ITestExtra = kernel::makeGuid("{6A2D8B10-0C3E-4F51-9E2A-7B1C0D3E4F52}");
constexpr kernel::PoolTag TestTag = kernel::poolTag("TObj");
constexpr kernel::PoolTag BufferTag = kernel::poolTag("TBuf");

class ITestPrimary : public IUnknown {
public:
    virtual int PrimaryValue() = 0;
};

class ITestSecond : public IUnknown {
public:
    virtual int SecondValue() = 0;
};

class ITestExtra : public IUnknown {
public:
    virtual int ExtraValue() = 0;
};

struct Record {
    int destructorRuns = 0;
};

class CTestObject : public CForwardingUnknown<CUnknown, ITestPrimary, ITestSecond> {
public:
    CTestObject(IUnknown* outer, Record* record) : CForwardingUnknown(outer), m_pRecord(record) {}
    ~CTestObject() override {
        ++m_pRecord->destructorRuns;
        // References taken and dropped while dying must not delete a second time.
        GetOuterUnknown()->AddRef();
        GetOuterUnknown()->Release();
        if (m_pBuffer != nullptr) kernel::freePool(m_pBuffer);
    }

    NTSTATUS NonDelegatingQueryInterface(const Guid& id, void** object) override {
        if (object == nullptr) return kernel::STATUS_INVALID_PARAMETER;
        if (IsEqualId(id, kernel::IID_IUnknown) || IsEqualId(id, IID_ITestPrimary))
            return ReturnInterface(static_cast<ITestPrimary*>(this), object);
        if (IsEqualId(id, IID_ITestSecond))
            return ReturnInterface(static_cast<ITestSecond*>(this), object);
        *object = nullptr;
        return kernel::STATUS_INVALID_PARAMETER;
    }

    int PrimaryValue() override { return 1; }
    int SecondValue() override { return 2; }

    // The second step of creation: it sets up what the object owns.
    NTSTATUS Init(bool succeed) {
        m_pBuffer = kernel::allocatePool(kernel::PoolType::NonPagedNx, 32, BufferTag);
        return succeed && m_pBuffer != nullptr ? kernel::STATUS_SUCCESS
                                               : kernel::STATUS_UNSUCCESSFUL;
    }
    void* Buffer() const { return m_pBuffer; }

private:
    Record* m_pRecord;
    void* m_pBuffer = nullptr; // set up by Init
};

class CTestDerived : public CForwardingUnknown<CTestObject, ITestExtra> {
public:
    using CForwardingUnknown::CForwardingUnknown;

    NTSTATUS NonDelegatingQueryInterface(const Guid& id, void** object) override {
        const NTSTATUS status = CTestObject::NonDelegatingQueryInterface(id, object);
        if (kernel::succeeded(status) || object == nullptr) return status;
        if (IsEqualId(id, IID_ITestExtra))
            return ReturnInterface(static_cast<ITestExtra*>(this), object);
        return status;
    }
    int ExtraValue() override { return 3; }
};

// A factory of the port driver's shape.
NTSTATUS CreateTestObject(IUnknown** unknown, const Guid&, IUnknown* outer,
                          kernel::PoolType poolType) {
    static Record record;
    ITestPrimary* primary = nullptr;
    const NTSTATUS status =
        CreateDriverObject<CTestObject>(&primary, outer, poolType, TestTag, &record);
    *unknown = primary;
    return status;
}

template <class Interface> Interface* query(IUnknown* unknown, const Guid& id) {
    void* object = nullptr;
    return kernel::succeeded(unknown->QueryInterface(id, &object)) ? static_cast<Interface*>(object)
                                                                   : nullptr;
}

TEST(ObjectModel, ReleaseToZeroRunsTheDestructorOnce) {
    Record record;
    ITestPrimary* object = nullptr;
    ASSERT_EQ(CreateDriverObject<CTestObject>(&object, nullptr, kernel::PoolType::NonPagedNx,
                                              TestTag, &record),
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(record.destructorRuns, 1);
    EXPECT_EQ(kernel::poolLiveBlocks(TestTag), 0u);
}

TEST(ObjectModel, QueryForIUnknownThroughAnyInterfaceGivesTheSamePointer) {
    Record record;
    ITestPrimary* primary = nullptr;
    CreateDriverObject<CTestObject>(&primary, nullptr, kernel::PoolType::NonPagedNx, TestTag,
                                    &record);
    ITestSecond* second = query<ITestSecond>(primary, IID_ITestSecond);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->SecondValue(), 2);

    IUnknown* viaPrimary = query<IUnknown>(primary, kernel::IID_IUnknown);
    IUnknown* viaSecond = query<IUnknown>(second, kernel::IID_IUnknown);
    EXPECT_NE(viaPrimary, nullptr);
    EXPECT_EQ(viaPrimary, viaSecond);

    viaPrimary->Release();
    viaSecond->Release();
    second->Release();
    EXPECT_EQ(primary->Release(), 0u);
    EXPECT_EQ(record.destructorRuns, 1);
}

TEST(ObjectModel, UnknownIdentifierGivesNullAndInvalidParameter) {
    Record record;
    ITestPrimary* primary = nullptr;
    CreateDriverObject<CTestObject>(&primary, nullptr, kernel::PoolType::NonPagedNx, TestTag,
                                    &record);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(primary->QueryInterface(IID_ITestExtra, &object), kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(primary->QueryInterface(IID_IAudioHal, &object), kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(primary->Release(), 0u); // no reference was added by the failed queries
}

TEST(ObjectModel, DerivedClassAnswersItsBasesInterfacesAndItsOwn) {
    Record record;
    ITestExtra* extra = nullptr;
    ASSERT_EQ(CreateDriverObject<CTestDerived>(&extra, nullptr, kernel::PoolType::NonPagedNx,
                                               TestTag, &record),
              kernel::STATUS_SUCCESS);
    ITestPrimary* primary = query<ITestPrimary>(extra, IID_ITestPrimary);
    ITestExtra* again = query<ITestExtra>(primary, IID_ITestExtra);
    ASSERT_TRUE(primary && again);
    EXPECT_EQ(primary->PrimaryValue() + again->ExtraValue(), 4);
    // The base answers IUnknown first, so identity holds across the levels.
    EXPECT_EQ(query<IUnknown>(extra, kernel::IID_IUnknown),
              query<IUnknown>(primary, kernel::IID_IUnknown));
    for (int i = 0; i < 2; ++i) extra->Release(); // the two IUnknown queries
    primary->Release();
    again->Release();
    EXPECT_EQ(extra->Release(), 0u);
    EXPECT_EQ(record.destructorRuns, 1);
}

// An outer object that aggregates a CTestObject and hands out its second interface.
class COuter : public CForwardingUnknown<CUnknown, ITestExtra> {
public:
    explicit COuter(IUnknown* outer, Record* innerRecord) : CForwardingUnknown(outer) {
        CreateDriverObject<CTestObject>(&m_pInner, static_cast<ITestExtra*>(this),
                                        kernel::PoolType::NonPagedNx, TestTag, innerRecord);
    }
    ~COuter() override {
        if (m_pInner != nullptr) m_pInner->NonDelegatingRelease();
    }
    NTSTATUS NonDelegatingQueryInterface(const Guid& id, void** object) override {
        if (object == nullptr) return kernel::STATUS_INVALID_PARAMETER;
        if (IsEqualId(id, kernel::IID_IUnknown) || IsEqualId(id, IID_ITestExtra))
            return ReturnInterface(static_cast<ITestExtra*>(this), object);
        if (IsEqualId(id, IID_ITestSecond))
            return m_pInner->NonDelegatingQueryInterface(id, object);
        *object = nullptr;
        return kernel::STATUS_INVALID_PARAMETER;
    }
    int ExtraValue() override { return 5; }

private:
    INonDelegatingUnknown* m_pInner = nullptr;
};

TEST(ObjectModel, AggregatedObjectForwardsToItsOuterUnknown) {
    Record innerRecord;
    ITestExtra* outer = nullptr;
    ASSERT_EQ(CreateDriverObject<COuter>(&outer, nullptr, kernel::PoolType::NonPagedNx, TestTag,
                                         &innerRecord),
              kernel::STATUS_SUCCESS);
    ITestSecond* inner = query<ITestSecond>(outer, IID_ITestSecond); // counted on the outer object
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->SecondValue(), 2);
    EXPECT_EQ(inner->AddRef(), 3u); // the outer's count: creator, query, this
    // Through the inner's interface, IUnknown is the outer object's identity.
    IUnknown* identity = query<IUnknown>(inner, kernel::IID_IUnknown);
    EXPECT_EQ(identity, query<IUnknown>(outer, kernel::IID_IUnknown));
    EXPECT_EQ(query<ITestExtra>(inner, IID_ITestExtra), outer);
    for (int i = 0; i < 5; ++i) outer->Release();
    EXPECT_EQ(innerRecord.destructorRuns, 0);
    EXPECT_EQ(outer->Release(), 0u);
    EXPECT_EQ(innerRecord.destructorRuns, 1);
    EXPECT_EQ(kernel::poolLiveBlocks(TestTag), 0u);
}

TEST(Factory, CreatesWithOneReference) {
    IUnknown* unknown = nullptr;
    ASSERT_EQ(CreateTestObject(&unknown, IID_ITestPrimary, nullptr, kernel::PoolType::NonPagedNx),
              kernel::STATUS_SUCCESS);
    EXPECT_EQ(kernel::poolLiveBlocks(TestTag), 1u);
    EXPECT_EQ(unknown->Release(), 0u);
}

TEST(Factory, FailedAllocationGivesInsufficientResourcesAndLeavesNoBlock) {
    kernel::failPoolTag(TestTag);
    CreateInstanceFunction factory = CreateTestObject;
    IUnknown* unknown = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(factory(&unknown, IID_ITestPrimary, nullptr, kernel::PoolType::NonPagedNx),
              kernel::STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(unknown, nullptr);
    EXPECT_EQ(kernel::poolLiveBlocks(TestTag), 0u);
}

TEST(Factory, FailedInitIsUndoneByTheCreatorsRelease) {
    Record record;
    ITestPrimary* primary = nullptr;
    ASSERT_EQ(CreateDriverObject<CTestObject>(&primary, nullptr, kernel::PoolType::NonPagedNx,
                                              TestTag, &record),
              kernel::STATUS_SUCCESS);
    auto* object = static_cast<CTestObject*>(primary);
    EXPECT_EQ(object->Buffer(), nullptr); // null until Init
    EXPECT_EQ(object->Init(false), kernel::STATUS_UNSUCCESSFUL);
    EXPECT_EQ(kernel::poolLiveBlocks(BufferTag), 1u);
    primary->Release();
    EXPECT_EQ(kernel::poolLiveBlocks(BufferTag), 0u);
    EXPECT_EQ(kernel::poolLiveBlocks(TestTag), 0u);
}

TEST(InterfaceIds, CompareAsFourWords) {
    EXPECT_TRUE(
        IsEqualId(IID_IAudioHal, kernel::makeGuid("{7284B608-74F9-4B95-A5BB-EC6DDD0B6F58}")));
    Guid almost = IID_IAudioHal;
    almost.data4[7] ^= 1;
    EXPECT_FALSE(IsEqualId(IID_IAudioHal, almost));
    const Guid ids[] = {IID_IAudioNode, IID_IAudioHal,    IID_IStreamEngine, IID_IDspNode,
                        IID_IUsbDevice, IID_IAsioPrivate, IID_ISubdeviceName};
    for (std::size_t i = 0; i < std::size(ids); ++i)
        for (std::size_t j = i + 1; j < std::size(ids); ++j)
            EXPECT_FALSE(IsEqualId(ids[i], ids[j]));
    EXPECT_EQ(IID_IStreamEngine.data1, 0x3D64C291u);
    EXPECT_EQ(IID_ISubdeviceName.data4[7], 0x76);
}

} // namespace
