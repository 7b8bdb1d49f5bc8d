#include "LogIndex.h"
#include "LogMemory.h"

#include "AnsiText.h"

namespace {

// The first table holds 64 slots; it doubles whenever it would become more
// than half full, which keeps linear probes short.
constexpr size_t FirstCapacity = 64;

bool SameKey(const LogEntry* entry, int32_t kind, const char* text1)
{
    return entry->kind == kind && AnsiCompareNoCase(entry->text1, text1) == 0;
}

void Place(LogIndexSlot* slots, size_t capacity, LogEntry* entry, uint32_t hash)
{
    size_t mask = capacity - 1;
    size_t i = hash & mask;
    while (slots[i].entry)
        i = (i + 1) & mask;
    slots[i].hash = hash;
    slots[i].entry = entry;
}

}  // namespace

uint32_t LogIndexHash(int32_t kind, const char* text1)
{
    // FNV-1a over the kind's four bytes and the folded text.
    uint32_t hash = 2166136261u;
    uint32_t k = static_cast<uint32_t>(kind);
    for (int i = 0; i < 4; ++i) {
        hash ^= (k >> (8 * i)) & 0xFF;
        hash *= 16777619u;
    }
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text1); *p; ++p) {
        hash ^= AnsiFold(*p);
        hash *= 16777619u;
    }
    // Mix the high bits down: the table uses the low ones.
    hash ^= hash >> 15;
    hash *= 0x2C1B3C6Du;
    hash ^= hash >> 12;
    return hash;
}

LogEntry* LogIndexFind(const InstallLog* list, int32_t kind, const char* text1, uint32_t hash)
{
    if (list->indexCapacity == 0)
        return nullptr;
    size_t mask = list->indexCapacity - 1;
    for (size_t i = hash & mask; list->indexSlots[i].entry; i = (i + 1) & mask) {
        const LogIndexSlot& slot = list->indexSlots[i];
        if (slot.hash == hash && SameKey(slot.entry, kind, text1))
            return slot.entry;
    }
    return nullptr;
}

int LogIndexReserve(InstallLog* list)
{
    if ((list->indexUsed + 1) * 2 <= list->indexCapacity)
        return 1;
    size_t capacity = list->indexCapacity ? list->indexCapacity * 2 : FirstCapacity;
    if (capacity < list->indexCapacity)
        return 0;
    auto* slots = static_cast<LogIndexSlot*>(LogAllocate(capacity, sizeof(LogIndexSlot)));
    if (!slots)
        return 0;
    for (size_t i = 0; i < list->indexCapacity; ++i) {
        if (list->indexSlots[i].entry)
            Place(slots, capacity, list->indexSlots[i].entry, list->indexSlots[i].hash);
    }
    LogFree(list->indexSlots);
    list->indexSlots = slots;
    list->indexCapacity = capacity;
    return 1;
}

void LogIndexInsert(InstallLog* list, LogEntry* entry, uint32_t hash)
{
    if (LogIndexFind(list, entry->kind, entry->text1, hash))
        return;
    Place(list->indexSlots, list->indexCapacity, entry, hash);
    ++list->indexUsed;
}

void LogIndexRelease(InstallLog* list)
{
    LogFree(list->indexSlots);
    list->indexSlots = nullptr;
    list->indexCapacity = 0;
    list->indexUsed = 0;
}
