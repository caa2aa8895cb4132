#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>
#include <typeindex>
#include <unordered_map>

struct DeskContext;
class ScreenGuard;

/// Owns the desk's screens, at most one instance of each.
///
/// Loading a screen constructs it (its load steps run); unloading destroys
/// it, so the next load starts again from its design-time state. A screen
/// may unload itself from its own click handler: the widget is hidden and
/// stops its timers at once, and is deleted when control returns to the
/// event loop.
///
/// While it has a context, the navigator also guards every screen against
/// stray input (ScreenGuard): a double-click's second click never presses a
/// button of the screen the first click opened, and a window close request
/// never ends the program.
class Navigator
{
public:
    Navigator();
    ~Navigator();
    Navigator(const Navigator &) = delete;
    Navigator &operator=(const Navigator &) = delete;

    /// Wires the screens' context and starts guarding their input.
    void setContext(DeskContext &context);

    /// The screen, constructed first if it is not loaded.
    template<class Screen>
    Screen *load()
    {
        if (Screen *screen = loaded<Screen>())
            return screen;
        auto *screen = new Screen(*m_context);
        m_screens[typeid(Screen)] = screen;
        return screen;
    }

    /// Loads the screen if needed and shows it in front.
    template<class Screen>
    Screen *open()
    {
        Screen *screen = load<Screen>();
        show(screen);
        return screen;
    }

    /// The screen if it is loaded; never loads it.
    template<class Screen>
    Screen *loaded() const
    {
        const auto found = m_screens.find(typeid(Screen));
        return found == m_screens.end() ? nullptr : static_cast<Screen *>(found->second.data());
    }

    template<class Screen>
    void unload()
    {
        release(typeid(Screen));
    }

    /// The visible screen that was shown last, for bringing the desk forward.
    QWidget *frontScreen() const;

    /// Every loaded screen, shown or not.
    QList<QWidget *> loadedScreens() const;

private:
    void show(QWidget *screen);
    void release(std::type_index type);

    DeskContext *m_context = nullptr;
    std::unordered_map<std::type_index, QPointer<QWidget>> m_screens;
    QPointer<QWidget> m_lastShown;
    std::unique_ptr<ScreenGuard> m_guard;
};
