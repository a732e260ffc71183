// An audio module left behind by another build: it has the program's entry points
// but answers another interface version, so the program must refuse it.

extern "C" {

__attribute__((visibility("default"))) int zuvo_audio_engine_interface() {
    return -1;
}

__attribute__((visibility("default"))) void* zuvo_create_audio_engine(void*) {
    return nullptr;
}
}
