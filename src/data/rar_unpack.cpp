#include "data/rar_unpack.h"

struct UnpackState {
    int unused = 0;
};

UnpackStatePtr createUnpackState() { return UnpackStatePtr(new UnpackState); }

void UnpackStateDeleter::operator()(UnpackState* state) const { delete state; }

bool unpackEntry(UnpackState&, ArchiveSpan&, uint32_t, uint32_t, bool, uint8_t*, uint32_t* delivered)
{
    *delivered = 0;
    return false;
}
