#include "audio/music_player.h"

#include <string>

#include "audio/engine/audio_engine.h"
#include "data/log.h"
#include "data/resources.h"
#include "data/settings.h"
#include "platform/platform.h"

namespace {

void* libraryModule = nullptr;
char libraryPath[260] = {};  // read by removeMusicLibraryCopy, possibly from a signal handler
uint32_t savedVolume = 0;
uint32_t musicStream = 0;
bool outputStarted = false;  // BASS_Init succeeded: stop has something to undo
AudioEntryPoints entry;
std::span<const uint8_t> libraryImage;

template <typename Fn>
void resolve(const char* name, Fn& slot)
{
    Log& log = Log::instance();
    log.write("Load BASS function <").write(name).write("> ...");
    slot = reinterpret_cast<Fn>(platform::librarySymbol(libraryModule, name));
    if (!slot)
        log.write("error!..");
    log.done();
}

std::string errorCode()
{
    // A library without its error call still gets a line, with a code it can never report.
    return entry.errorGetCode ? std::to_string(entry.errorGetCode()) : std::string("-1");
}

// A private file copy first; where the temporary folder does not allow loading code, an anonymous
// in-memory file instead.
void* loadLibraryCopy(std::span<const uint8_t> image, bool& noCopy)
{
    noCopy = false;
    if (image.empty())
        return nullptr;
    void* module = nullptr;
    noCopy = !platform::writeTempFile(libraryPath, sizeof libraryPath, platform::tempDirectory(), "bas", image);
    if (!noCopy) {
        module = platform::loadLibrary(libraryPath);
        // Where the loaded mapping keeps the code, removing the file now leaves nothing behind even
        // when the process is killed; elsewhere it goes after the library is freed.
        if (!module || platform::kLoadedLibraryFileRemovable)
            removeMusicLibraryCopy();
    }
    if (!module)
        module = platform::loadLibraryFromMemory(image, "bas");
    return module;
}

void unloadLibrary()
{
    // Only a started output has a volume to put back: savedVolume is what the library reported then.
    if (outputStarted) {
        if (entry.setVolume)
            entry.setVolume(savedVolume);
        if (entry.stop)
            entry.stop();
        if (entry.free)
            entry.free();
    }
    outputStarted = false;
    musicStream = 0;
    entry = {};
    if (libraryModule) {
        platform::freeLibrary(libraryModule);
        libraryModule = nullptr;
        removeMusicLibraryCopy();
    }
}

}  // namespace

void removeMusicLibraryCopy()
{
    // The path is forgotten only once the file is gone, so a later call can still remove it.
    if (platform::deleteFile(libraryPath))
        libraryPath[0] = '\0';
}

void setMusicLibraryImage(std::span<const uint8_t> bytes) { libraryImage = bytes; }

MusicPlayer::MusicPlayer() = default;

MusicPlayer::~MusicPlayer()
{
    // The library reads musicData in place: it must be gone before the bytes are freed.
    if (libraryModule)
        unloadLibrary();
}

bool MusicPlayer::start(void* window, void* /*instance*/)
{
    if (!currentSettings.EnableMusic || libraryModule)
        return true;
    Log& log = Log::instance();
    bool noCopy = false;
    libraryModule = loadLibraryCopy(libraryImage.empty() ? findResource("BASS", 128) : libraryImage, noCopy);
    if (!libraryModule) {
        log.write("Error: Can't load BASS.DLL\n");
        // A temporary folder that is missing, read-only or too long is the user's setup, not a
        // broken library: ending here would leave a screensaver that never shows.
        if (noCopy)
            log.write("No temporary folder takes the library's copy: the run goes on without music\n");
        return noCopy;
    }
    log.done();

    resolveAudioEntryPoints(entry, [](const char* name, auto& slot) { resolve(name, slot); });

    log.write("Initialize BASS...");
    // A missing entry point is skipped rather than called; without BASS_Init the run is silent.
    if (!entry.init || !entry.init(1, 44100, 0, window, nullptr))
        return true;
    outputStarted = true;
    if (entry.start)
        entry.start();
    savedVolume = entry.getVolume ? entry.getVolume() : 100;
    if (entry.setVolume)
        entry.setVolume(static_cast<uint32_t>(currentSettings.Volume));
    log.done();
    return true;
}

void MusicPlayer::play()
{
    // A second play would reopen musicData under the stream still reading it.
    if (!currentSettings.EnableMusic || musicStream != 0 || !libraryModule)
        return;
    Log& log = Log::instance();
    log.write("Open music file...");
    if (!musicData.open("music.ogg")) {
        log.write("error!\n");
        return;
    }
    log.done();

    log.write("Play music...");
    musicStream = entry.streamCreateFile
                      ? entry.streamCreateFile(1, musicData.data, 0, static_cast<uint32_t>(musicData.size), 0)
                      : 0;
    if (musicStream == 0) {
        log.write("BASS_StreamCreateFile : Error Code ").write(errorCode()).write("...");
        return;
    }
    if (!entry.streamPlay || !entry.streamPlay(musicStream, 0, kAudioStreamLoop)) {
        log.write("BASS_StreamPlay : Error Code ").write(errorCode()).write("...");
        return;
    }
    log.done();
}

void MusicPlayer::stop()
{
    if (!currentSettings.EnableMusic)
        return;
    unloadLibrary();
}
