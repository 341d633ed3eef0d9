#pragma once

// How JACK clients open and close in this process, whoever opens them (RtAudio, RtMidi, our own code).
//
// libjack cancels a client's threads the moment the client closes, at whatever instruction they are
// on. Its notification thread handles each notice from the server under a lock that every client in
// the process shares; cancelled there, it leaves that lock held, and every later open or close in the
// process hangs. Notices come in a burst just after a client opens and while a server shuts down, so a
// client opened and closed at once (as an audio library does to list devices) or closed while its
// server dies runs straight into it. So this program takes the place of libjack's open, activate and
// close: it notes which threads each client brought, and a close first waits, briefly, until each of
// them has ended or sits waiting on the server.

#include <jack/jack.h>

namespace veltrane::detail {

/// While set on the calling thread, a JACK client that asks there for a shutdown notice
/// (`jack_on_shutdown`) gets `notice` with `argument` in its place; pass nullptr to clear. The notice
/// runs on one of libjack's threads, which libjack may cancel at any instruction: it must do nothing
/// but atomic steps and system calls, and must not be noexcept.
void replaceJackShutdownNotices(JackInfoShutdownCallback notice, void* argument) noexcept;

} // namespace veltrane::detail
