// A simulated DOS machine for the host tests of the DOS restore program: an 80x25 colour
// text screen, a scripted keyboard, a small case-insensitive disk with DOS attributes,
// installed character devices, an environment and a command interpreter that records
// every command and carries out "copy" commands on the simulated disk.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "survin_dos.h"

namespace sim {

// Thrown by exitProgram so a test gets control back with the exit code.
struct Exited {
    int code;
};
// Thrown when the program waits for a key that the script does not have.
struct KeysExhausted {};
// Thrown when the program reads from a device, which would wait for ever.
struct ReadFromDevice {};

struct Cell {
    char ch;
    uint8_t attr;
};

struct Entry {
    std::string bytes;
    uint8_t attr = 0x20;  // archive
    bool directory = false;
};

struct Exec {
    std::string program;
    std::string tail;
};

enum class CopyMode {
    Copy,      // the interpreter copies as DOS does
    Truncate,  // the target ends up shorter than the source (a disk that filled up)
    Nothing,   // the interpreter runs but copies nothing
    Garble,    // the target has the source's size but one byte differs
};

struct Machine {
    Cell screen[25][80];
    int cursorX = 1, cursorY = 1;
    bool cursorVisible = true;
    std::deque<int> keys;
    std::deque<std::function<void()>> checkpoints;
    std::map<std::string, Entry> disk;  // upper-case path -> entry
    // Names of installed character devices (upper case). As in DOS, a path whose last name
    // is one of them, with any extension and in any folder, opens the device; reading
    // one waits for input that never comes.
    std::set<std::string> devices;
    std::map<std::string, std::string> env;
    std::vector<Exec> execs;
    int execError = 0;  // non-zero: the interpreter cannot be started
    CopyMode copyMode = CopyMode::Copy;
    std::map<int, std::pair<std::string, size_t>> openFiles;  // a device: no entry
    std::set<int> openDevices;
    int nextHandle = 5;
};

// The one machine; reset() makes it new (blank screen in 0x07, COMSPEC set).
Machine& machine();
void reset();
// The state of the program that runSurvin runs.
survin::State& state();

// Disk set-up; parent folders are made as needed.
void addFile(const std::string& path, const std::string& bytes, uint8_t attr = 0x20);
void addDir(const std::string& path);
bool exists(const std::string& path);
std::string fileBytes(const std::string& path);

// Keyboard script: plain characters, and extended keys as 0 + scan code.
void typeText(const std::string& chars);
void pressKey(int key);  // 0x100 + scan for an extended key
void pressExtended(uint8_t scan);
// Runs check when the program next waits for a key that the script does not have; the
// check can look at the screen and type the next keys.
void whenWaiting(std::function<void()> check);

// Screen inspection, 1-based.
std::string row(int y);            // the 80 characters of a row, trailing blanks removed
uint8_t attrAt(int x, int y);
char charAt(int x, int y);
std::string screenText();          // all rows joined with '\n'

// Runs the program as if started as C:\BK\SURVIN.EXE (or the given path). Returns its exit
// code; keysLeft tells whether the program ended waiting for more keys.
int runSurvin(bool* keysExhausted = nullptr, const char* argv0 = "C:\\BK\\SURVIN.EXE");

// Copy commands the interpreter ran, as "copy \"A\" \"B\" /Y" texts.
std::vector<std::string> commands();

}  // namespace sim
