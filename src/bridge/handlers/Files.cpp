// Files (family 30) functions; those not built yet answer "Not supported".
#include "bridge/handlers/Handlers.h"

namespace velloc::bridge::handlers {

// 30001 vlx.files.fileExists
void FilesFileExists(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 30002 vlx.files.deleteFile
void FilesDeleteFile(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 30003 vlx.files.writeTextFile
void FilesWriteTextFile(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 30004 vlx.files.extractFile
void FilesExtractFile(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

}  // namespace velloc::bridge::handlers
