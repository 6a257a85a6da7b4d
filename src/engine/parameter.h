// The parameter record of one encoder job: every piece of its command line.
#pragma once

#include <string>

// The texts of the encoder job most recently built; all empty at start.
struct TConvertParameterStruct {
  std::string EncoderPath;
  std::string SourceFile;
  std::string CodecArgs;
  std::string VideoBitrateArg;
  std::string VideoSizeArg;
  std::string FrameRateArg;
  std::string AspectArg;
  std::string AudioBitrateArg;
  std::string VolumeArg;
  std::string ChannelsArg;
  std::string SampleRateArg;
  std::string FormatArg;
  std::string TrimArg;
  std::string OutputDir;
  std::string OutputBaseName;
  std::string OutputExt;
  // The output path the builder chose; empty when it built no command.
  std::string OutputFile;
};
