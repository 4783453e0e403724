#include "app/capture_source.h"

#include "capture/capture.h"
#include "capture/media_file.h"
#include "capture/v4l2_backend.h"
#include "capture/virtual_backend.h"

CaptureDevice* openCaptureSource(const CommandLine& o, std::string& error) {
    switch (o.source) {
        case SourceKind::Virtual: return captureCreateWith(createVirtualBackend(o.virtualCamera));
        case SourceKind::File: {
            auto backend = createMediaFileBackend(o.sourceFile, o.loop, error);
            return backend ? captureCreateWith(std::move(backend)) : nullptr;
        }
        case SourceKind::Camera: break;
    }
    return captureCreateWith(createCameraBackend(o.width ? o.width : kPreferredWidth, o.height ? o.height : kPreferredHeight));
}
