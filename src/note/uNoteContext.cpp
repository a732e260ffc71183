#include "note/uNoteContext.h"

const TNoteContextPtr& EmptyNoteContext() {
    static const TNoteContextPtr empty = std::make_shared<const TNoteContext>();
    return empty;
}
