#include "platform/webkit/PackageMedia.h"

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <unistd.h>
#include <vector>

#include <gst/base/gstbasesrc.h>
#include <gst/gst.h>

#include "archive/PackagePassword.h"
#include "archive/ZipArchive.h"
#include "browser/ResourceServer.h"
#include "config/AppKeys.h"
#include "config/ProjectIni.h"
#include "package/ExeUtils.h"
#include "platform/MappedFile.h"
#include "platform/gtk/CallbackGuard.h"
#include "platform/webkit/Uris.h"

namespace velloc::webkit {
namespace {

// A packaged entry, decrypted and inflated once.
using TEntryBytes = std::vector<std::uint8_t>;

// What one element plays: a package entry with checkpoints (decrypted where the player reads),
// another package entry (extracted on the first read, in the streaming thread) or a file on
// disk.
struct TMediaData {
  int EntryIndex = -1;
  std::unique_ptr<archive::TEntryReader> Reader;
  std::shared_ptr<const TEntryBytes> Bytes;
  int Fd = -1;
  std::uint64_t Size = 0;

  TMediaData() = default;
  TMediaData(const TMediaData&) = delete;
  TMediaData& operator=(const TMediaData&) = delete;
  ~TMediaData() {
    if (Fd >= 0) ::close(Fd);
  }
};

// The package of the runtime, as the web process sees it: the executable mapped read-only.
class TWebProcessPackage {
 public:
  static TWebProcessPackage& Instance() {
    static TWebProcessPackage package;
    return package;
  }

  void SetPath(const std::string& exePath) {
    std::lock_guard lock(FMutex);
    FExePath = exePath;
  }

  std::unique_ptr<TMediaData> Open(const std::string& uri) {
    std::lock_guard lock(FMutex);
    EnsureOpen();
    const std::string fileUri = ToFileUri(uri);
    auto data = std::make_unique<TMediaData>();
    if (FZip.IsOpen() && !FDirName.empty()) {
      const int index = FZip.FindFile(FDirName + "/" + browser::RequestPath(fileUri));
      if (index >= 0) {
        data->EntryIndex = index;
        data->Size = FZip.Entry(index).UncompressedSize;
        // Seeking then costs one interval of decryption, and memory two intervals per element.
        if (FZip.HasCheckpoints(index)) data->Reader = FZip.OpenEntry(index);
        return data;
      }
    }
    // Beside the executable, then the absolute path: the same rule as page requests.
    const auto response = browser::ServeFileRequest(fileUri, nullptr, "", FDirPath);
    if (!response || response->FilePath.empty()) return nullptr;
    data->Fd = ::open(response->FilePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (data->Fd < 0) return nullptr;
    const off_t size = ::lseek(data->Fd, 0, SEEK_END);
    if (size < 0) return nullptr;
    data->Size = static_cast<std::uint64_t>(size);
    return data;
  }

  // The entry's bytes, shared with every other element playing it; null when it cannot be
  // extracted.
  std::shared_ptr<const TEntryBytes> Extract(int index) {
    std::lock_guard lock(FMutex);
    if (auto shared = FExtracted[index].lock()) return shared;
    auto bytes = std::make_shared<TEntryBytes>();
    if (FZip.Extract(index, *bytes) != archive::ExtractResult::Ok) return nullptr;
    FExtracted[index] = bytes;
    return bytes;
  }

 private:
  void EnsureOpen() {
    if (FTried) return;
    FTried = true;
    if (FExePath.empty()) return;
    const auto slash = FExePath.rfind('/');
    FDirPath = slash == std::string::npos ? "/" : FExePath.substr(0, slash + 1);
    try {
      package::TExeUtils exe(FExePath);
      if (!exe.ExeHasAttachedStub()) return;
      const std::shared_ptr<const platform::TMappedFile> map = exe.MapZipFromExe();
      FZip.Password(archive::PackagePassword());
      FZip.Stream(map->Bytes(), map);
      config::TProjectIni ini;
      std::vector<std::uint8_t> text;
      FZip.ExtractToStream("vlx.ini", text);
      ini.LoadFromBytes(text);
      FDirName = config::ReadAppKey(ini, config::app::DirName);
    } catch (const std::exception& error) {
      glib::ReportCallbackError("opening the package for media", error.what());
      FZip.Close();
    }
  }

  std::mutex FMutex;
  std::string FExePath;
  bool FTried = false;
  archive::TZipArchive FZip;  // holds the mapping for the life of the process
  std::string FDirName;
  std::string FDirPath;
  std::map<int, std::weak_ptr<const TEntryBytes>> FExtracted;
};

// ---- The GStreamer element ------------------------------------------------------------------

struct VellocPackageSrc {
  GstBaseSrc Parent;
  gchar* Uri;
  TMediaData* Data;
};

struct VellocPackageSrcClass {
  GstBaseSrcClass ParentClass;
};

GType PackageSrcType();

VellocPackageSrc* Self(gpointer object) {
  return reinterpret_cast<VellocPackageSrc*>(object);
}

gboolean Start(GstBaseSrc* base) {
  VellocPackageSrc* self = Self(base);
  std::unique_ptr<TMediaData> data = glib::Guarded("opening packaged media", [&] {
    return self->Uri ? TWebProcessPackage::Instance().Open(self->Uri) : nullptr;
  });
  if (!data) {
    GST_ELEMENT_ERROR(base, RESOURCE, NOT_FOUND, ("Not found"), ("%s", self->Uri ? self->Uri : ""));
    return FALSE;
  }
  self->Data = data.release();
  return TRUE;
}

gboolean Stop(GstBaseSrc* base) {
  VellocPackageSrc* self = Self(base);
  delete self->Data;
  self->Data = nullptr;
  return TRUE;
}

gboolean GetSize(GstBaseSrc* base, guint64* size) {
  VellocPackageSrc* self = Self(base);
  if (!self->Data) return FALSE;
  *size = self->Data->Size;
  return TRUE;
}

gboolean IsSeekable(GstBaseSrc*) {
  return TRUE;
}

void ReleaseShared(gpointer bytes) {
  delete static_cast<std::shared_ptr<const TEntryBytes>*>(bytes);
}

GstFlowReturn Create(GstBaseSrc* base, guint64 offset, guint length, GstBuffer** buffer) {
  VellocPackageSrc* self = Self(base);
  TMediaData* data = self->Data;
  if (!data) return GST_FLOW_ERROR;
  if (offset >= data->Size) return GST_FLOW_EOS;
  const auto count = static_cast<gsize>(std::min<std::uint64_t>(length, data->Size - offset));
  if (data->Reader) {
    GstBuffer* out = gst_buffer_new_allocate(nullptr, count, nullptr);
    GstMapInfo map;
    if (!out || !gst_buffer_map(out, &map, GST_MAP_WRITE)) {
      if (out) gst_buffer_unref(out);
      return GST_FLOW_ERROR;
    }
    const bool read = glib::Guarded("reading packaged media", [&] {
      return data->Reader->Read(offset, {map.data, count}) == archive::ExtractResult::Ok;
    });
    gst_buffer_unmap(out, &map);
    if (!read) {
      gst_buffer_unref(out);
      GST_ELEMENT_ERROR(base, RESOURCE, READ, ("Cannot read"), ("%s", self->Uri));
      return GST_FLOW_ERROR;
    }
    *buffer = out;
    return GST_FLOW_OK;
  }
  if (data->EntryIndex >= 0) {
    if (!data->Bytes) {
      data->Bytes = glib::Guarded("extracting packaged media", [&] {
        return TWebProcessPackage::Instance().Extract(data->EntryIndex);
      });
      if (!data->Bytes || data->Bytes->size() != data->Size) {
        GST_ELEMENT_ERROR(base, RESOURCE, READ, ("Cannot extract"), ("%s", self->Uri));
        return GST_FLOW_ERROR;
      }
    }
    // The buffer points into the shared entry and keeps it alive: no copy.
    auto* owner = new std::shared_ptr<const TEntryBytes>(data->Bytes);
    auto* start = const_cast<std::uint8_t*>(data->Bytes->data() + offset);
    *buffer = gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, start, count, 0, count, owner,
                                          ReleaseShared);
    return GST_FLOW_OK;
  }
  GstBuffer* out = gst_buffer_new_allocate(nullptr, count, nullptr);
  GstMapInfo map;
  if (!out || !gst_buffer_map(out, &map, GST_MAP_WRITE)) {
    if (out) gst_buffer_unref(out);
    return GST_FLOW_ERROR;
  }
  const ssize_t read = ::pread(data->Fd, map.data, count, static_cast<off_t>(offset));
  gst_buffer_unmap(out, &map);
  if (read <= 0) {
    gst_buffer_unref(out);
    if (read == 0) return GST_FLOW_EOS;
    GST_ELEMENT_ERROR(base, RESOURCE, READ, ("Cannot read"), ("%s", self->Uri));
    return GST_FLOW_ERROR;
  }
  gst_buffer_set_size(out, read);
  *buffer = out;
  return GST_FLOW_OK;
}

void Finalize(GObject* object) {
  VellocPackageSrc* self = Self(object);
  delete self->Data;
  g_free(self->Uri);
  GObjectClass* parent = G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)));
  parent->finalize(object);
}

GstURIType UriType(GType) {
  return GST_URI_SRC;
}

const gchar* const* Protocols(GType) {
  static const gchar* const protocols[] = {"vlx", nullptr};
  return protocols;
}

gchar* GetUri(GstURIHandler* handler) {
  return g_strdup(Self(handler)->Uri);
}

gboolean SetUri(GstURIHandler* handler, const gchar* uri, GError** error) {
  VellocPackageSrc* self = Self(handler);
  if (GST_STATE(self) >= GST_STATE_PAUSED) {
    g_set_error(error, GST_URI_ERROR, GST_URI_ERROR_BAD_STATE, "The source is playing");
    return FALSE;
  }
  g_free(self->Uri);
  self->Uri = g_strdup(uri);
  return TRUE;
}

void InitUriHandler(gpointer iface, gpointer) {
  auto* handler = static_cast<GstURIHandlerInterface*>(iface);
  handler->get_type = UriType;
  handler->get_protocols = Protocols;
  handler->get_uri = GetUri;
  handler->set_uri = SetUri;
}

void ClassInit(gpointer klass, gpointer) {
  G_OBJECT_CLASS(klass)->finalize = Finalize;
  auto* element = GST_ELEMENT_CLASS(klass);
  gst_element_class_set_static_metadata(element, "Velloc package source", "Source/File",
                                        "Reads media from the application package", "Velloc");
  static GstStaticPadTemplate source =
      GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);
  gst_element_class_add_static_pad_template(element, &source);
  auto* base = GST_BASE_SRC_CLASS(klass);
  base->start = Start;
  base->stop = Stop;
  base->get_size = GetSize;
  base->is_seekable = IsSeekable;
  base->create = Create;
}

void InstanceInit(GTypeInstance* instance, gpointer) {
  VellocPackageSrc* self = Self(instance);
  self->Uri = nullptr;
  self->Data = nullptr;
  gst_base_src_set_format(GST_BASE_SRC(instance), GST_FORMAT_BYTES);
}

GType PackageSrcType() {
  static const GType type = [] {
    const GTypeInfo info{
        sizeof(VellocPackageSrcClass), nullptr, nullptr,      ClassInit, nullptr, nullptr,
        sizeof(VellocPackageSrc),      0,       InstanceInit, nullptr};
    const GType registered =
        g_type_register_static(GST_TYPE_BASE_SRC, "VellocPackageSrc", &info, GTypeFlags{});
    const GInterfaceInfo uriHandler{InitUriHandler, nullptr, nullptr};
    g_type_add_interface_static(registered, GST_TYPE_URI_HANDLER, &uriHandler);
    return registered;
  }();
  return type;
}

}  // namespace

void SetMediaPackagePath(const std::string& exePath) {
  TWebProcessPackage::Instance().SetPath(exePath);
}

void RegisterPackageMediaSourceWithGStreamer() {
  // GStreamer has no hook for its start, but GLib calls an interface check whenever a class gets
  // an interface: the player's sink classes get theirs when WebKit makes the first player, after
  // GStreamer is up and before the player looks for the source of a "vlx:" URI. The check costs
  // a flag test per class; it stays installed (removing it from inside would disturb GLib's
  // walk over the checks). Registering initialises the source's own class, which calls the check
  // again: the flag is set first.
  static std::once_flag installed;
  std::call_once(installed, [] {
    g_type_add_interface_check(nullptr, [](gpointer, gpointer) {
      static std::atomic<bool> registered{false};
      if (registered.load(std::memory_order_acquire) || !gst_is_initialized() ||
          registered.exchange(true)) {
        return;
      }
      if (!gst_element_register(nullptr, "vellocpackagesrc", GST_RANK_PRIMARY, PackageSrcType())) {
        g_printerr("velloc: GStreamer refused the package source; packaged media will not play\n");
      }
    });
  });
}

}  // namespace velloc::webkit
