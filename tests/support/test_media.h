// Tiny media files made at test time with Debian's ffmpeg, one per container the
// source list accepts, plus broken ones. Each clip is made once per build (kept
// beside the test executables) and copied under the name a test asks for.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// The containers the source list accepts, as extensions with the dot.
const std::vector<std::string>& AcceptedContainers();

// Copies a clip of the container (extension with dot) lasting `seconds` (0.8 or
// a whole number of seconds) to `path`. Throws when ffmpeg cannot make it.
void MakeClip(const std::string& extension, double seconds, const std::string& path);

// The sound file types the source list accepts, as extensions with the dot.
const std::vector<std::string>& AcceptedSoundTypes();
// A sound file (a tone) of the type lasting `seconds`; with_cover adds a cover
// picture as an attached picture stream (mp3 only). Throws when ffmpeg cannot make it.
void MakeSoundClip(const std::string& extension, double seconds, const std::string& path, bool with_cover = false);

// A 2-second FLV whose demuxer gives out early: a tag a sixth of the way in
// claims 16 MB, so what follows is read as that one packet, cut short.
void MakeClipThatGivesOut(const std::string& path);
// Two 2-second WMVs that state no length: one cut at 60%, one with junk after
// its end. Every packet in them still plays.
void MakeWmvsWithoutLength(const std::string& cut_path, const std::string& junk_path);

// A clip holding nothing but a subtitle stream (no audio, no video).
void MakeSubtitleOnlyClip(const std::string& path);

// Runs a program with arguments (no shell); its exit code, or -1 when it did not run.
int RunProgram(const std::vector<std::string>& argv, bool quiet = true);

}  // namespace testing_support
