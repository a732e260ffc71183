// Build tool: writes the template database of the program folder.
#include "data/uNoteStore.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <brisel.mdb>\n", argv[0]);
        return 2;
    }
    try {
        NoteStore::CreateFromSchema(QString::fromLocal8Bit(argv[1]));
    } catch (const TSqlError& e) {
        std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}
