#include "udb/Decoder.h"

#include "framework/CommandLine.h"
#include "udb/Crypts.h"

namespace tabshift::udb {

bool ProcessUsesPlainDecoder() {
  static const bool plain = FindCmdLineSwitch("aqtime");
  return plain;
}

std::unique_ptr<TUdbDecoder> NewFileSetDecoder() {
  if (ProcessUsesPlainDecoder()) return std::make_unique<PlainDecoder>();
  return std::make_unique<CipherDecoder>();
}

}  // namespace tabshift::udb
