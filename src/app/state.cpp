#include "app/state.h"

#include <cstring>

namespace vesk {

AppState appState;

void resetAppState() { std::memset(&appState, 0, sizeof appState); }

}  // namespace vesk
