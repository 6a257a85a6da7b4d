// The option fragments of an encoder command line, from the item a list shows.
// Each fragment begins with a blank; an empty item gives the fallback.
#pragma once

#include <string>

namespace fragments {

std::string CodecArgs(int output_type);
std::string VideoBitrateArg(const std::string& item);
std::string VideoSizeArg(const std::string& item);
std::string FrameRateArg(const std::string& item);
std::string AspectArg(const std::string& item);
std::string AudioBitrateArg(const std::string& item);
std::string VolumeArg(const std::string& item);
std::string ChannelsArg(const std::string& item);
std::string SampleRateArg(const std::string& item);
std::string FormatArg(int output_type);
std::string OutputExt(int output_type);

}  // namespace fragments
