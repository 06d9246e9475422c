#include "framework/uMidiRoute.h"

namespace {
TMidiRoute RecordingRoute;
TMidiRoute* CurrentRoute = &RecordingRoute;
}

TMidiRoute& MidiRoute() { return *CurrentRoute; }
void SetMidiRoute(TMidiRoute* route) { CurrentRoute = route ? route : &RecordingRoute; }
