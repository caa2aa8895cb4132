#pragma once

#include <functional>
#include <memory>

class Clock;
class Desktop;
class FilePicker;
class Navigator;
class Processes;
class Prompter;
class SearchCache;
class SettingFiles;
class Speaker;
class UnattendedStation;

/// Everything a screen needs from outside itself. main() wires the real
/// services, tests wire fakes.
struct DeskContext {
    SettingFiles &files;
    Prompter &prompter;
    Speaker &speaker;
    Desktop &desktop;
    Processes &processes;
    FilePicker &filePicker;
    Clock &clock;
    Navigator &navigator;
    /// Ends the program.
    std::function<void()> quit;
    /// The unattended-station features; none in a desk without them.
    UnattendedStation *unattended = nullptr;
    /// The search of saved and received mail, kept for the program's life
    /// once made (by main() at the start, else by the first screen that searches).
    std::shared_ptr<SearchCache> messageSearch = nullptr;
};
