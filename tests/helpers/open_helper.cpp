// Stands in for the program associated with a document: notes the command line it was started with
// in "opened.txt" of its working folder, then ends.
#include <windows.h>
#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    FILE* log = std::fopen("opened.txt", "w");
    return log && std::fputs(::GetCommandLineA(), log) >= 0 && std::fclose(log) == 0 ? 0 : 1;
}
