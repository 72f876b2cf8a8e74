// Decodes an embedded PNG with the system's image codecs.
#include "ui/window_state.h"

#include <wincodec.h>

namespace {

template <typename T>
void Release(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

// A top-down 24-bit DIB section holding the frame's pixels.
HBITMAP BitmapFromSource(IWICBitmapSource* source) {
    UINT width = 0;
    UINT height = 0;
    if (FAILED(source->GetSize(&width, &height)) || width == 0 || height == 0) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    const UINT stride = (width * 3 + 3) & ~3u;
    if (FAILED(source->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits)))) {
        DeleteObject(bitmap);
        return nullptr;
    }
    return bitmap;
}

}  // namespace

HBITMAP DecodePictureResource(const wchar_t* name) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, name, MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return nullptr;
    const DWORD byteCount = SizeofResource(module, found);

    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converted = nullptr;
    HBITMAP bitmap = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&factory))) &&
        SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromMemory(static_cast<BYTE*>(bytes), byteCount)) &&
        SUCCEEDED(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand,
                                                   &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) &&
        // The factory's converter, not WICConvertBitmapSource: that one would
        // import WindowsCodecs.dll at load time.
        SUCCEEDED(factory->CreateFormatConverter(&converted)) &&
        SUCCEEDED(converted->Initialize(frame, GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone,
                                        nullptr, 0.0, WICBitmapPaletteTypeCustom))) {
        bitmap = BitmapFromSource(converted);
    }
    Release(converted);
    Release(frame);
    Release(decoder);
    Release(stream);
    Release(factory);
    return bitmap;
}
