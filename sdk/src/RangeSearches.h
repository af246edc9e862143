#pragma once

#include <atomic>
#include <memory>

namespace zvsdk
{
// Limits shared by both range searches (ZVNetSearchDevPoint2Point and
// zv_search_device), set through ZVSdkSetRangeLimits.
struct RangeLimits
{
    int concurrency; // addresses asked at once by one search
    int timeoutMs; // how long one address may take to answer
};
RangeLimits CurrentRangeLimits();

// One running range search, known by its user value so that ZVSdkStopSearch
// can find it. Registered for the lifetime of the object; Stopped() turns true
// when it was asked to end early (it then ends with its null record).
class RangeSearchEntry
{
public:
    explicit RangeSearchEntry(void* user);
    ~RangeSearchEntry();
    RangeSearchEntry(const RangeSearchEntry&) = delete;
    RangeSearchEntry& operator=(const RangeSearchEntry&) = delete;

    bool Stopped() const { return m_stop->load(); }

private:
    void* m_user;
    std::shared_ptr<std::atomic<bool>> m_stop;
};

// Counts the addresses being asked by every range search at once: each asked
// address adds one until it has answered or its time is up.
class AddressesInFlight
{
public:
    AddressesInFlight() = default;
    ~AddressesInFlight() { Remove(m_count); }
    AddressesInFlight(const AddressesInFlight&) = delete;
    AddressesInFlight& operator=(const AddressesInFlight&) = delete;

    void Add();
    void Remove(int count = 1);

private:
    int m_count = 0;
};
} // namespace zvsdk
