// tapewren_platform_helper guard: prints "ready", waits for a line on stdin, asks PrevInstance()
//     and prints the answer, then keeps whatever it holds until stdin closes, or ends the program
//     at once when it reads "end".
// tapewren_platform_helper end: prints "before", leaves unflushed output and an exit handler
//     behind, and ends the program.

#include "platform/ImmediateProgramEnd.h"
#include "platform/LockFileInstanceGuard.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

int guard()
{
    LockFileInstanceGuard guard;
    std::cout << "ready" << std::endl;
    std::string line;
    std::getline(std::cin, line);
    std::cout << guard.PrevInstance() << std::endl;
    while (std::getline(std::cin, line)) {
        if (line == "end")
            ImmediateProgramEnd([&guard] { guard.release(); }).end();
    }
    return 0;
}

[[noreturn]] void end()
{
    std::printf("before\n");
    std::fflush(stdout);
    std::atexit([] { std::fputs("exit handler\n", stdout); });
    std::printf("unflushed\n");
    ImmediateProgramEnd().end();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.value(1) == QLatin1String("guard"))
        return guard();
    if (arguments.value(1) == QLatin1String("end"))
        end();
    return 2;
}
