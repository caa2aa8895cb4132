#pragma once

class PortalDesktop;
class Prompter;
class SocketList;
class SoundSetting;
class Speaker;
class StationIdStore;
class StationStore;
class TransferLogStore;

/// Everything the portal window needs from outside itself. main() wires
/// the real services, tests wire fakes.
struct PortalPorts
{
    Speaker &speaker;
    Prompter &prompter;
    PortalDesktop &desktop;
    SocketList &sockets;
    SoundSetting &sound;
    StationIdStore &stationId;
    StationStore &stations;
    TransferLogStore &transferLog;
};
