#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include "console.h"

namespace {

constexpr std::array<int, 4> signauxFatals{SIGINT, SIGQUIT, SIGTERM, SIGHUP};

termios modesSauves{};

// Ctrl+C and its kin end the program; the terminal must get its echo and
// line editing back before the default action does so.
extern "C" void restaurerPuisRelancer(int signal)
{
    ::tcsetattr(STDIN_FILENO, TCSANOW, &modesSauves);
    struct sigaction parDefaut {};
    parDefaut.sa_handler = SIG_DFL;
    ::sigaction(signal, &parDefaut, nullptr);
    ::raise(signal);
}

void attendreToucheTerminal()
{
    std::array<struct sigaction, signauxFatals.size()> anciennes{};
    for (std::size_t i = 0; i < signauxFatals.size(); ++i) {
        ::sigaction(signauxFatals[i], nullptr, &anciennes[i]);
        if (anciennes[i].sa_handler != SIG_IGN) {
            struct sigaction action {};
            action.sa_handler = restaurerPuisRelancer;
            ::sigemptyset(&action.sa_mask);
            ::sigaction(signauxFatals[i], &action, nullptr);
        }
    }
    termios brut = modesSauves;
    brut.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    brut.c_cc[VMIN] = 1;
    brut.c_cc[VTIME] = 0;
    // Ctrl+Z counts as a key: a stopped program would leave the shell a
    // terminal without echo.
    brut.c_cc[VSUSP] = _POSIX_VDISABLE;
    // TCSAFLUSH: keys struck during the load are dropped, the wait answers a
    // key struck after the prompt.
    if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &brut) == 0) {
        char touche = 0;
        while (::read(STDIN_FILENO, &touche, 1) < 0 && errno == EINTR) {}
        ::tcsetattr(STDIN_FILENO, TCSANOW, &modesSauves);
    } else {
        std::getc(stdin);
    }
    for (std::size_t i = 0; i < signauxFatals.size(); ++i) {
        ::sigaction(signauxFatals[i], &anciennes[i], nullptr);
    }
}

}  // namespace

void attendreTouche()
{
    std::fputs("Appuyez sur une touche pour continuer...", stdout);
    std::fflush(stdout);
    if (::isatty(STDIN_FILENO) != 0 && ::tcgetattr(STDIN_FILENO, &modesSauves) == 0) {
        attendreToucheTerminal();
    } else {
        std::getc(stdin);
    }
    std::fputs("\n", stdout);
    std::fflush(stdout);
}
