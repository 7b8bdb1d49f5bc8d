// The string slots and the lexer snapshots.
//
// The lexer keeps the texts of its last eight string constants in eight slots
// of 512 bytes, and a snapshot must bring back exactly the texts the slots held
// when it was taken.  Copying all 4096 bytes into every snapshot would do, but
// the evaluator takes a snapshot for every expression it reads.  So the slot
// texts live in pages of a fixed pool with reference counts instead: the lexer
// and each snapshot name one page per slot, a snapshot shares the lexer's pages,
// and whoever writes into a shared page first gets a private copy of it (the
// whole page, so even the bytes behind the terminator stay as they were).
//
// Page 0 is all zeros and never written: a fresh lexer and an empty snapshot
// name it for every slot.
//
// Built with VM_SCRIPT_COPY_SLOTS=1 the snapshots copy all slot bytes instead
// (the plain representation, kept to measure what the sharing saves).
#include "ScriptInternal.h"

#include <cstring>

namespace {

// Pages a snapshot can name: one per slot.  Live snapshots are the ones the
// nesting levels hold (ScriptSnapshotLimit), one function body each, and the
// evaluator's look-ahead; the lexer itself names eight more.
constexpr int LiveSnapshotLimit = ScriptSnapshotLimit + ScriptFunctionLimit + 1;
constexpr int SlotPageCount = 1 + StringSlotCount * (LiveSnapshotLimit + 1);

char SlotPages[SlotPageCount][StringSlotSize];
int32_t PageReferences[SlotPageCount];
int32_t FreePages[SlotPageCount];
int32_t FreePageCount;
bool PoolReady;

void ResetPool()
{
    memset(PageReferences, 0, sizeof PageReferences);
    FreePageCount = 0;
    for (int page = SlotPageCount - 1; page >= 1; --page)
        FreePages[FreePageCount++] = page;
    PoolReady = true;
}

inline void AcquirePage(int32_t page)
{
    if (page != 0)
        ++PageReferences[page];
}

inline void ReleasePage(int32_t page)
{
    if (page != 0 && --PageReferences[page] == 0)
        FreePages[FreePageCount++] = page;
}

}  // namespace

uint64_t SnapshotsTaken;
uint64_t SlotPagesCopied;

void ResetStringSlots()
{
    ResetPool();
    for (int slot = 0; slot < StringSlotCount; ++slot) {
#if VM_SCRIPT_COPY_SLOTS
        // The plain representation: the lexer owns pages 1 to 8 for good.
        Lexer.slotPages[slot] = slot + 1;
        PageReferences[slot + 1] = 1;
        memset(SlotPages[slot + 1], 0, StringSlotSize);
#else
        Lexer.slotPages[slot] = 0;
#endif
    }
}

void ForgetSnapshot(LexerSnapshot* snapshot)
{
    for (int slot = 0; slot < StringSlotCount; ++slot)
        snapshot->slotPages[slot] = 0;
}

const char* SlotText(int slot)
{
    return SlotPages[Lexer.slotPages[slot]];
}

char* WritableSlot(int slot)
{
    if (!PoolReady)
        ResetStringSlots();
    int32_t page = Lexer.slotPages[slot];
    if (page != 0 && PageReferences[page] == 1)
        return SlotPages[page];
    // Shared (or the zero page): take a private copy before writing.  The
    // pool is sized so that it cannot run dry within the nesting limits.
    int32_t fresh = FreePageCount > 0 ? FreePages[--FreePageCount] : 0;
    if (fresh == 0) {
        ReportScriptError("Nesting too deep");
        static char scratch[StringSlotSize];
        return scratch;
    }
    memcpy(SlotPages[fresh], SlotPages[page], StringSlotSize);
    ++SlotPagesCopied;
    PageReferences[fresh] = 1;
    ReleasePage(page);
    Lexer.slotPages[slot] = fresh;
    return SlotPages[fresh];
}

LexerSnapshot::~LexerSnapshot()
{
#if !VM_SCRIPT_COPY_SLOTS
    for (int slot = 0; slot < StringSlotCount; ++slot)
        ReleasePage(slotPages[slot]);
#endif
}

void SaveLexer(LexerSnapshot* snapshot)
{
    ++SnapshotsTaken;
    snapshot->textPointer = Lexer.textPointer;
    snapshot->characterCount = Lexer.characterCount;
    snapshot->current = Lexer.current;
    snapshot->tokenKind = Lexer.tokenKind;
    memcpy(snapshot->identifierText, Lexer.identifierText, ScriptNameSize);
    snapshot->intValue = Lexer.intValue;
    snapshot->slotIndex = Lexer.slotIndex;
#if VM_SCRIPT_COPY_SLOTS
    for (int slot = 0; slot < StringSlotCount; ++slot)
        memcpy(snapshot->slotCopy[slot], SlotPages[Lexer.slotPages[slot]], StringSlotSize);
#else
    for (int slot = 0; slot < StringSlotCount; ++slot) {
        AcquirePage(Lexer.slotPages[slot]);
        ReleasePage(snapshot->slotPages[slot]);
        snapshot->slotPages[slot] = Lexer.slotPages[slot];
    }
#endif
}

void RestoreLexer(const LexerSnapshot* snapshot)
{
    Lexer.textPointer = snapshot->textPointer;
    Lexer.characterCount = snapshot->characterCount;
    Lexer.current = snapshot->current;
    Lexer.tokenKind = snapshot->tokenKind;
    memcpy(Lexer.identifierText, snapshot->identifierText, ScriptNameSize);
    Lexer.intValue = snapshot->intValue;
    Lexer.slotIndex = snapshot->slotIndex;
#if VM_SCRIPT_COPY_SLOTS
    for (int slot = 0; slot < StringSlotCount; ++slot)
        memcpy(SlotPages[Lexer.slotPages[slot]], snapshot->slotCopy[slot], StringSlotSize);
#else
    for (int slot = 0; slot < StringSlotCount; ++slot) {
        if (Lexer.slotPages[slot] != snapshot->slotPages[slot]) {
            AcquirePage(snapshot->slotPages[slot]);
            ReleasePage(Lexer.slotPages[slot]);
            Lexer.slotPages[slot] = snapshot->slotPages[slot];
        }
    }
#endif
}

const char* ScriptTextOf(ScriptValue value, size_t* room)
{
    uint32_t offset = static_cast<uint32_t>(value) - static_cast<uint32_t>(ScriptTextBase);
    if (offset >= static_cast<uint32_t>(StringSlotCount * StringSlotSize)) {
        if (room)
            *room = 0;
        return nullptr;
    }
    if (room)
        *room = StringSlotSize - offset % StringSlotSize;
    return SlotText(static_cast<int>(offset / StringSlotSize)) + offset % StringSlotSize;
}

char* ScriptWritableTextOf(ScriptValue value, size_t* room)
{
    uint32_t offset = static_cast<uint32_t>(value) - static_cast<uint32_t>(ScriptTextBase);
    if (offset >= static_cast<uint32_t>(StringSlotCount * StringSlotSize)) {
        if (room)
            *room = 0;
        return nullptr;
    }
    if (room)
        *room = StringSlotSize - offset % StringSlotSize;
    return WritableSlot(static_cast<int>(offset / StringSlotSize)) + offset % StringSlotSize;
}
