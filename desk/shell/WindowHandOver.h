#pragma once

struct DeskContext;

/// Bringing other programs' windows to the front, with the warning the
/// operator sees when the window is not there.
namespace WindowHandOver {

/// WinTNC's window, else EasyTerm's.
void raisePacketProgram(DeskContext &context);

/// The portal's window.
void raisePortal(DeskContext &context);

} // namespace WindowHandOver
