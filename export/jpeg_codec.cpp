#include "export/jpeg_codec.h"

#include "export/jpeg_tables.h"
#include "export/maker.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include <jerror.h>
#include <jpeglib.h>

namespace qf {

// The library reports a fatal error by calling its error manager's exit
// routine, which must not return. Ours jumps back to the frame that started
// the library call. Those frames (runCompression, runDecompression) hold
// nothing but plain data between the jump point and the library calls, and
// the row callbacks run only between library calls, so the jump never
// passes a C++ object that would need its destructor.

namespace {

constexpr int kMaxDimension = 65500; // the format's own limit

struct ErrorManager {
    jpeg_error_mgr library; // first: the library sees only this part
    std::jmp_buf jump;
};

void exitWithError(j_common_ptr cinfo) {
    ErrorManager* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(errors->jump, 1);
}

// Messages are never shown; warnings are only counted.
void emitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) ++cinfo->err->num_warnings;
}

void outputMessage(j_common_ptr) {}

void resetErrors(j_common_ptr cinfo) {
    cinfo->err->msg_code = 0;
    cinfo->err->num_warnings = 0;
}

void installErrorManager(ErrorManager& errors) {
    jpeg_std_error(&errors.library);
    errors.library.error_exit = exitWithError;
    errors.library.emit_message = emitMessage;
    errors.library.output_message = outputMessage;
    errors.library.reset_error_mgr = resetErrors;
}

// ---------------------------------------------------------------- compress

struct CompressJob {
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    jpeg_destination_mgr destination;
    int width;
    int height;
    int quality;
    const JpegMarkerSegments* segments;
    JpegRowReader readRow;
    void* context;
    uint8_t* row;
    uint8_t* out;
    size_t capacity;
    size_t length;
    // With a writer `out` only stages the stream: each full buffer is
    // handed on, and `limit` bounds the stream instead of `capacity`.
    JpegByteWriter write;
    void* writeContext;
    size_t limit;
    size_t handedOn;
    volatile bool overflow;
    volatile bool refused;
    // The library asks for room as soon as the buffer is full, even when
    // the stream ends exactly there; a few spare bytes take that request,
    // and anything actually written into them means the stream is too long.
    bool spilling;
    uint8_t spill[16];
};

void initDestination(j_compress_ptr cinfo) {
    CompressJob* job = reinterpret_cast<CompressJob*>(cinfo);
    job->destination.next_output_byte = job->out;
    job->destination.free_in_buffer = job->capacity;
}

// Called when the buffer is full. The first time the spare bytes take
// over; when they are full too, the stream does not fit and compression ends
// here.
boolean emptyDestination(j_compress_ptr cinfo) {
    CompressJob* job = reinterpret_cast<CompressJob*>(cinfo);
    if (!job->spilling) {
        job->spilling = true;
        job->destination.next_output_byte = job->spill;
        job->destination.free_in_buffer = sizeof job->spill;
        return TRUE;
    }
    job->overflow = true;
    cinfo->err->msg_code = JERR_BUFFER_SIZE;
    cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
    return FALSE; // not reached
}

// Hands `count` staged bytes on, or stops the library when they would make
// the stream too long or the writer refuses them.
void handOn(CompressJob* job, size_t count) {
    j_compress_ptr cinfo = &job->cinfo;
    if (count > job->limit - job->handedOn) {
        job->overflow = true;
        cinfo->err->msg_code = JERR_BUFFER_SIZE;
        cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
    }
    if (count && !job->write(job->writeContext, job->out, count)) {
        job->refused = true;
        cinfo->err->msg_code = JERR_FILE_WRITE;
        cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
    }
    job->handedOn += count;
}

// The library calls this only with the whole buffer full.
boolean passOnDestination(j_compress_ptr cinfo) {
    CompressJob* job = reinterpret_cast<CompressJob*>(cinfo);
    handOn(job, job->capacity);
    job->destination.next_output_byte = job->out;
    job->destination.free_in_buffer = job->capacity;
    return TRUE;
}

void termDestination(j_compress_ptr) {}

void passOnRest(j_compress_ptr cinfo) {
    CompressJob* job = reinterpret_cast<CompressJob*>(cinfo);
    handOn(job, job->capacity - job->destination.free_in_buffer);
}

void writeSegment(j_compress_ptr cinfo, int marker, const uint8_t* data, size_t length) {
    jpeg_write_marker(cinfo, marker, data, static_cast<unsigned int>(length));
}

void writeIccChunks(j_compress_ptr cinfo, const uint8_t* profile, size_t length) {
    static const char kSignature[12] = "ICC_PROFILE"; // with its zero byte
    const size_t chunks = (length + kIccChunkCapacity - 1) / kIccChunkCapacity;
    for (size_t chunk = 0; chunk < chunks; ++chunk) {
        const size_t start = chunk * kIccChunkCapacity;
        const size_t size = length - start < kIccChunkCapacity ? length - start : kIccChunkCapacity;
        jpeg_write_m_header(cinfo, JPEG_APP0 + 2, static_cast<unsigned int>(size + 14));
        for (char c : kSignature) jpeg_write_m_byte(cinfo, static_cast<uint8_t>(c));
        jpeg_write_m_byte(cinfo, static_cast<int>(chunk + 1));
        jpeg_write_m_byte(cinfo, static_cast<int>(chunks));
        for (size_t i = 0; i < size; ++i) jpeg_write_m_byte(cinfo, profile[start + i]);
    }
}

void setTables(j_compress_ptr cinfo, int quality) {
    const int decile = jpegQualityDecile(quality);
    const int sampling = kLuminanceSampling[decile];
    cinfo->comp_info[0].h_samp_factor = sampling;
    cinfo->comp_info[0].v_samp_factor = sampling;
    for (int i = 1; i < MAX_COMPONENTS; ++i) {
        cinfo->comp_info[i].h_samp_factor = 1;
        cinfo->comp_info[i].v_samp_factor = 1;
    }
    cinfo->optimize_coding = TRUE;
    unsigned int luminance[64];
    unsigned int chrominance[64];
    for (int i = 0; i < 64; ++i) {
        luminance[i] = kLuminanceQuantTables[decile][i];
        chrominance[i] = kChrominanceQuantTables[decile][i];
    }
    jpeg_add_quant_table(cinfo, 0, luminance, 100, FALSE);
    jpeg_add_quant_table(cinfo, 1, chrominance, 100, FALSE);
}

int runCompression(CompressJob* job) {
    if (setjmp(job->errors.jump)) {
        int status = kJpegCodecLibraryError;
        if (job->overflow)
            status = kJpegCodecStreamTooLarge;
        else if (job->refused)
            status = kJpegCodecOutputFailed;
        else if (job->errors.library.msg_code == JERR_OUT_OF_MEMORY)
            status = kJpegCodecNoMemory;
        jpeg_destroy_compress(&job->cinfo);
        return status;
    }
    j_compress_ptr cinfo = &job->cinfo;
    cinfo->err = &job->errors.library;
    jpeg_create_compress(cinfo);
    job->destination.init_destination = initDestination;
    job->destination.empty_output_buffer = job->write ? passOnDestination : emptyDestination;
    job->destination.term_destination = job->write ? passOnRest : termDestination;
    cinfo->dest = &job->destination;

    cinfo->image_width = static_cast<JDIMENSION>(job->width);
    cinfo->image_height = static_cast<JDIMENSION>(job->height);
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    setTables(cinfo, job->quality);

    jpeg_start_compress(cinfo, TRUE); // SOI and the JFIF segment go out here
    const JpegMarkerSegments& segments = *job->segments;
    writeSegment(cinfo, JPEG_COM, reinterpret_cast<const uint8_t*>(kMakerWebAddress),
                 sizeof kMakerWebAddress);
    if (segments.exif && segments.exifLength)
        writeSegment(cinfo, JPEG_APP0 + 1, segments.exif, segments.exifLength);
    if (segments.icc && segments.iccLength) writeIccChunks(cinfo, segments.icc, segments.iccLength);
    if (segments.iptc && segments.iptcLength)
        writeSegment(cinfo, JPEG_APP0 + 13, segments.iptc, segments.iptcLength);

    for (int y = 0; y < job->height; ++y) {
        job->readRow(job->context, y, job->row, job->width);
        JSAMPROW rows[1] = {job->row};
        jpeg_write_scanlines(cinfo, rows, 1);
    }
    jpeg_finish_compress(cinfo);
    if (job->write) {
        job->length = job->handedOn;
        jpeg_destroy_compress(cinfo);
        return kJpegCodecOk;
    }
    if (job->spilling) {
        const bool fits = job->destination.free_in_buffer == sizeof job->spill;
        job->length = fits ? job->capacity : 0;
        jpeg_destroy_compress(cinfo);
        return fits ? kJpegCodecOk : kJpegCodecStreamTooLarge;
    }
    job->length = job->capacity - job->destination.free_in_buffer;
    jpeg_destroy_compress(cinfo);
    return kJpegCodecOk;
}

// -------------------------------------------------------------- decompress

struct DecompressJob {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    jpeg_source_mgr source;
    jpeg_progress_mgr progress;
    const uint8_t* data;
    size_t size;
    JpegDecodeLimits limits;
    JpegRowWriter writeRow;
    void* context;
    JpegPictureInfo* info;
    volatile int failure; // the reason when a check of ours stopped the library
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void initSource(j_decompress_ptr) {}

// All data was handed over at the start; asking for more means the stream
// is cut short. An end-of-image marker stands in for the rest, as the
// library expects, and a warning is counted.
boolean fillSource(j_decompress_ptr cinfo) {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    cinfo->src->next_input_byte = kEndOfImage;
    cinfo->src->bytes_in_buffer = sizeof kEndOfImage;
    return TRUE;
}

void skipSource(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* source = cinfo->src;
    if (static_cast<unsigned long>(count) > source->bytes_in_buffer) {
        // Past the end: what follows is the stand-in end of image.
        fillSource(cinfo);
        return;
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<size_t>(count);
}

void termSource(j_decompress_ptr) {}

// A progressive stream can be made of any number of scans, each of which
// makes the library go over the whole picture again.
void watchProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    DecompressJob* job = reinterpret_cast<DecompressJob*>(cinfo);
    if (job->cinfo.input_scan_number > job->limits.maxScans) {
        job->failure = kJpegCodecTooBig;
        cinfo->err->error_exit(cinfo);
    }
}

int runDecompression(DecompressJob* job) {
    if (setjmp(job->errors.jump)) {
        jpeg_destroy_decompress(&job->cinfo);
        return job->failure ? job->failure : kJpegCodecLibraryError;
    }
    j_decompress_ptr cinfo = &job->cinfo;
    cinfo->err = &job->errors.library;
    jpeg_create_decompress(cinfo);
    if (job->limits.maxMemory > 0) cinfo->mem->max_memory_to_use = job->limits.maxMemory;
    job->source.next_input_byte = job->data;
    job->source.bytes_in_buffer = job->size;
    job->source.init_source = initSource;
    job->source.fill_input_buffer = fillSource;
    job->source.skip_input_data = skipSource;
    job->source.resync_to_restart = jpeg_resync_to_restart;
    job->source.term_source = termSource;
    cinfo->src = &job->source;
    job->progress.progress_monitor = watchProgress;
    cinfo->progress = &job->progress;

    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(cinfo);
        return kJpegCodecUnsupported;
    }
    const int64_t pixels = static_cast<int64_t>(cinfo->image_width) * cinfo->image_height;
    if (cinfo->image_width == 0 || cinfo->image_height == 0 || pixels > job->limits.maxPixels) {
        jpeg_destroy_decompress(cinfo);
        return kJpegCodecTooBig;
    }
    if (cinfo->num_components == 3) {
        cinfo->out_color_space = JCS_RGB;
    } else if (cinfo->num_components == 1) {
        cinfo->out_color_space = JCS_GRAYSCALE;
    } else {
        jpeg_destroy_decompress(cinfo);
        return kJpegCodecUnsupported;
    }
    jpeg_start_decompress(cinfo);
    const int width = static_cast<int>(cinfo->output_width);
    const int components = cinfo->output_components;
    if (job->info) {
        job->info->width = width;
        job->info->height = static_cast<int>(cinfo->output_height);
        job->info->components = components;
    }
    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                 static_cast<JDIMENSION>(width * components), 1);
    while (cinfo->output_scanline < cinfo->output_height) {
        const int y = static_cast<int>(cinfo->output_scanline);
        if (jpeg_read_scanlines(cinfo, row, 1) != 1) break;
        if (!job->writeRow(job->context, y, row[0], width, components)) break;
    }
    // Nothing after the rows matters; the library may stop here.
    jpeg_destroy_decompress(cinfo);
    return kJpegCodecOk;
}

} // namespace

size_t jpegMarkerSegmentsSize(const JpegMarkerSegments& segments) {
    constexpr size_t kSegmentHeader = 4; // marker and length field
    size_t size = kSegmentHeader + sizeof kMakerWebAddress;
    if (segments.exif && segments.exifLength) size += kSegmentHeader + segments.exifLength;
    if (segments.icc && segments.iccLength) {
        const size_t chunks = (segments.iccLength + kIccChunkCapacity - 1) / kIccChunkCapacity;
        size += chunks * (kSegmentHeader + 14) + segments.iccLength;
    }
    if (segments.iptc && segments.iptcLength) size += kSegmentHeader + segments.iptcLength;
    return size;
}

namespace {

// Checks the arguments both compressors share, sets a job up and runs it;
// the caller fills in where the stream goes through `job` (out, capacity,
// and for streaming write, writeContext and limit).
template <typename Setup>
int compressWith(int width, int height, int quality, const JpegMarkerSegments& segments,
                 JpegRowReader readRow, void* context, size_t* length, Setup setup) {
    if (length) *length = 0;
    if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension || !readRow ||
        !length) {
        return kJpegCodecBadArgument;
    }
    if ((segments.exif && segments.exifLength > kJpegMaxSegmentPayload) ||
        (segments.iptc && segments.iptcLength > kJpegMaxSegmentPayload) ||
        (segments.icc && segments.iccLength > kIccChunkCapacity * kIccMaxChunks)) {
        return kJpegCodecBadArgument;
    }
    uint8_t* row = new (std::nothrow) uint8_t[static_cast<size_t>(width) * 3];
    CompressJob* job = new (std::nothrow) CompressJob;
    if (!row || !job) {
        delete[] row;
        delete job;
        return kJpegCodecNoMemory;
    }
    std::memset(static_cast<void*>(job), 0, sizeof *job);
    installErrorManager(job->errors);
    job->width = width;
    job->height = height;
    job->quality = clampJpegQuality(quality);
    job->segments = &segments;
    job->readRow = readRow;
    job->context = context;
    job->row = row;
    job->overflow = false;
    job->refused = false;
    int status = setup(*job);
    if (status == kJpegCodecOk) status = runCompression(job);
    if (status == kJpegCodecOk) *length = job->length;
    delete job;
    delete[] row;
    return status;
}

// Pieces of this size go to a stream's writer (the last one shorter); a
// stream whose limit is smaller stages no more than its limit.
constexpr size_t kStreamPiece = 256 * 1024;

} // namespace

int compressJpeg(int width, int height, int quality, const JpegMarkerSegments& segments,
                 JpegRowReader readRow, void* context, uint8_t* out, size_t capacity,
                 size_t* length) {
    if (!out) {
        if (length) *length = 0;
        return kJpegCodecBadArgument;
    }
    return compressWith(width, height, quality, segments, readRow, context, length,
                        [&](CompressJob& job) {
                            job.out = out;
                            job.capacity = capacity;
                            return int(kJpegCodecOk);
                        });
}

int streamJpeg(int width, int height, int quality, const JpegMarkerSegments& segments,
               JpegRowReader readRow, void* context, JpegByteWriter write, void* writeContext,
               size_t limit, size_t* length) {
    if (!write) {
        if (length) *length = 0;
        return kJpegCodecBadArgument;
    }
    uint8_t* staging = nullptr;
    const int status = compressWith(
        width, height, quality, segments, readRow, context, length, [&](CompressJob& job) {
            const size_t piece = std::clamp<size_t>(limit, 1, kStreamPiece);
            staging = new (std::nothrow) uint8_t[piece];
            if (!staging) return int(kJpegCodecNoMemory);
            job.out = staging;
            job.capacity = piece;
            job.write = write;
            job.writeContext = writeContext;
            job.limit = limit;
            return int(kJpegCodecOk);
        });
    delete[] staging;
    return status;
}

int decompressJpeg(const uint8_t* data, size_t size, const JpegDecodeLimits& limits,
                   JpegRowWriter writeRow, void* context, JpegPictureInfo* info) {
    if (info) *info = JpegPictureInfo{};
    if (!data || size == 0 || !writeRow) return kJpegCodecBadArgument;
    DecompressJob* job = new (std::nothrow) DecompressJob;
    if (!job) return kJpegCodecLibraryError;
    std::memset(static_cast<void*>(job), 0, sizeof *job);
    installErrorManager(job->errors);
    job->data = data;
    job->size = size;
    job->limits = limits;
    job->writeRow = writeRow;
    job->context = context;
    job->info = info;
    job->failure = 0;
    const int status = runDecompression(job);
    delete job;
    return status;
}

} // namespace qf
