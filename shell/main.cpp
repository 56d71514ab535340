// Process entry: the arguments joined by blanks form the saver's command line.
#include <string>

#include "shell/saver.h"

int main(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return WinMain(line.c_str());
}
