// Building, allocating and releasing an FFT specification record: what the
// real and the complex FFT do alike, told apart by their kind.
#pragma once

#include "sigproc/fft/record_layout.h"
#include "sigproc/fft/record_size.h"
#include "sigproc/fft/trig_tables.h"
#include "sigproc/sigproc.h"

#include <cstdint>

// Builds the tables a record has beyond those of its complex transform,
// starting at the 32-byte aligned offset `next`.
using sigFftOwnTables = void (*)(sigFftSpecHeader& spec, std::uint32_t next,
                                 const sigFftSine& sine);

struct sigFftRecordKind;

// Builds a record of a kind into a caller's buffers (the contract of sigFftBuildRecord).
using sigFftRecordBuilder = int (*)(sigFftSpecHeader*& record, const sigFftRecordKind& kind,
                                    int order, int flag, int hint, unsigned char* specBuf,
                                    unsigned char* initBuf);

// What tells one record from the other.
struct sigFftRecordKind {
    std::int32_t id;
    sigFftSizesRule sizesOf;
    bool halfLength;             // the complex transform runs on half the record's length
    sigFftOwnTables ownTables;   // null when the complex tables are all
    sigFftRecordBuilder builder; // null: sigFftBuildRecord
};

// Sets the scaling words of a zeroed header of the given order; false for a
// flag that is none of the four.
bool sigFftSetScaling(sigFftSpecHeader& spec, int flag);

// A zeroed header at specBuf rounded up to 32, with its order and hint.
sigFftSpecHeader* sigFftStartHeader(unsigned char* specBuf, int order, int hint);

// The sine table a record of `order` reads: the static one up to
// sigFftPieceOrder, beyond it one built at initBuf rounded up to 32; false,
// nothing built, without initBuf. The caller holds round-to-nearest.
bool sigFftRecordSine(int order, unsigned char* initBuf, sigFftSine& sine);

// Builds a record of `order` at specBuf rounded up to 32, after checking the
// order (sigErrFftOrder) and specBuf (sigErrNullPtr): a zeroed header with
// order, hint and the flag's scaling words, then, from order 4 on, the pair
// table, the twiddles and, beyond 1024 complex values, the chunk or split
// tables, read from a sine table of the record's order built at initBuf
// (orders above 10) or from the static one. A bad flag or a missing init
// buffer stops the build before the id is written, so only a complete record
// carries it.
int sigFftBuildRecord(sigFftSpecHeader*& record, const sigFftRecordKind& kind, int order, int flag,
                      int hint, unsigned char* specBuf, unsigned char* initBuf);

template <typename Spec>
int sigFftInitRecord(Spec** pSpec, const sigFftRecordKind& kind, int order, int flag, int hint,
                     unsigned char* specBuf, unsigned char* initBuf) {
    if (pSpec == nullptr) return sigErrNullPtr;
    sigFftSpecHeader* record = nullptr;
    const int status = sigFftBuildRecord(record, kind, order, flag, hint, specBuf, initBuf);
    if (status == sigOk) *pSpec = static_cast<Spec*>(record);
    return status;
}

// Clears the id and releases a record the library allocated; sigErrStateMismatch
// when the id is not the kind's.
int sigFftFreeRecord(sigFftSpecHeader* spec, const sigFftRecordKind& kind);

// The allocate-and-build operation: the size query, a spec block and, when
// the query asks for one, an init block released right after the build. No
// block is left behind on failure, and *pSpec is written only on success.
int sigFftInitAllocRecord(sigFftSpecHeader*& record, const sigFftRecordKind& kind, int order,
                          int flag, int hint);

template <typename Spec>
int sigFftInitAllocRecord(Spec** pSpec, const sigFftRecordKind& kind, int order, int flag,
                          int hint) {
    if (pSpec == nullptr) return sigErrNullPtr;
    sigFftSpecHeader* record = nullptr;
    const int status = sigFftInitAllocRecord(record, kind, order, flag, hint);
    if (status == sigOk) *pSpec = static_cast<Spec*>(record);
    return status;
}
