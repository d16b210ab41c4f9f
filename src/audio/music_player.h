#pragma once

#include <cstdint>
#include <span>

#include "data/data_file.h"

// The run's music: loads the carried audio library (resource "BASS" 128) from a private
// temporary copy, plays "music.ogg" from the archive as one looping stream at the `Volume`
// setting, and puts everything back at the end. One instance, local to the run. Each operation
// does nothing while `EnableMusic` is off.
class MusicPlayer {
public:
    MusicPlayer();
    virtual ~MusicPlayer();
    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    // Run start step 7. False only when the library cannot be loaded at all: "Error: Can't load
    // BASS.DLL" is logged and the caller must restore the display (mode, gamma, cursor) and then
    // end the run (run() gives kRunWithoutMusicLibrary). A library that loads but cannot start
    // output (no sound device) gives true and a silent run.
    bool start(void* window, void* instance);
    // After "Starting main loop...": opens the music and plays it looping.
    void play();
    // First teardown step: the previous volume back, output stopped, library unloaded.
    void stop();

    // The music bytes, read in place by the library from `play` until the player is destroyed.
    DataFile musicData;
};

// Removes the temporary copy of the library if one is still on disk; a copy the system will not
// remove yet stays known for a later call. Safe in a signal handler.
void removeMusicLibraryCopy();

// Replaces the embedded library image for `start` (tests and tools); an empty span restores it.
// The bytes must outlive the next `start`.
void setMusicLibraryImage(std::span<const uint8_t> bytes);
