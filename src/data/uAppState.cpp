#include "data/uAppState.h"

TAppState& AppState() {
    static TAppState state;
    return state;
}
