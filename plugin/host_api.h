// Our declaration of the published filter plug-in interface: the structures
// and constants an editor and a filter module exchange through PluginMain.
// Field order and types follow the published interface exactly; the offsets
// of every field we use are pinned below for each ABI we build, because an
// editor compiled against the published headers will read them there.
//
// Both sides of the interface use this header: the module (plugin/) and our
// own host (host/). Nothing else of the module may be included by the host.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

typedef int16_t int16;
typedef int32_t int32;
typedef uint16_t uint16;
typedef uint32_t uint32;
typedef unsigned char Boolean;
typedef int16_t OSErr;
typedef uint32_t OSType;
typedef int32_t Fixed; // 16.16
typedef char* Ptr;
typedef char** Handle; // opaque to the module: it only locks and unlocks
typedef unsigned char Str255[256];

// ---------------------------------------------------------------------------
// Geometry: 16-bit forms in the record, 32-bit forms in the big-document
// structure.
struct Point {
    int16 v;
    int16 h;
};
struct Rect {
    int16 top;
    int16 left;
    int16 bottom;
    int16 right;
};
struct VPoint {
    int32 v;
    int32 h;
};
struct VRect {
    int32 top;
    int32 left;
    int32 bottom;
    int32 right;
};
struct RGBColor {
    uint16 red;
    uint16 green;
    uint16 blue;
};
typedef unsigned char FilterColor[4];

struct PlugInMonitor {
    Fixed gamma;
    Fixed redX;
    Fixed redY;
    Fixed greenX;
    Fixed greenY;
    Fixed blueX;
    Fixed blueY;
    Fixed whiteX;
    Fixed whiteY;
    Fixed ambient;
};

// On Windows `platformData` points at this: the host's main window.
struct PlatformData {
    intptr_t hwnd;
};

// ---------------------------------------------------------------------------
// Selectors, results and constants.
enum : int16 {
    filterSelectorAbout = 0,
    filterSelectorParameters = 1,
    filterSelectorPrepare = 2,
    filterSelectorStart = 3,
    filterSelectorContinue = 4,
    filterSelectorFinish = 5,
};

enum : int16 {
    noErr = 0,
    readErr = -19,
    writErr = -20,
    paramErr = -50,
    memFullErr = -108,
    nilHandleErr = -109,
    userCanceledErr = -128,
    filterBadParameters = -30100,
    filterBadMode = -30101,
    errPlugInHostInsufficient = -30900,
    errReportString = -30904,
};

// imageMode values.
enum : int16 {
    plugInModeBitmap = 0,
    plugInModeGrayScale = 1,
    plugInModeIndexedColor = 2,
    plugInModeRGBColor = 3,
    plugInModeCMYKColor = 4,
    plugInModeHSLColor = 5,
    plugInModeHSBColor = 6,
    plugInModeMultichannel = 7,
    plugInModeDuotone = 8,
    plugInModeLabColor = 9,
    plugInModeGray16 = 10,
    plugInModeRGB48 = 11,
    plugInModeLab48 = 12,
    plugInModeCMYK64 = 13,
    plugInModeDeepMultichannel = 14,
    plugInModeDuotone16 = 15,
    plugInModeRGB96 = 16,
    plugInModeGray32 = 17,
};

// filterCase values.
enum : int16 {
    filterCaseUnsupported = -1,
    filterCaseFlatImageNoSelection = 1,
    filterCaseFlatImageWithSelection = 2,
    filterCaseFloatingSelection = 3,
    filterCaseEditableTransparencyNoSelection = 4,
    filterCaseEditableTransparencyWithSelection = 5,
    filterCaseProtectedTransparencyNoSelection = 6,
    filterCaseProtectedTransparencyWithSelection = 7,
};

// inputPadding, outputPadding, maskPadding: 0..255 is a fill value.
enum : int16 {
    plugInWantsEdgeReplication = -1,
    plugInDoesNotWantPadding = -2,
    plugInWantsErrorOnBoundsException = -3,
};

// samplingSupport values.
enum : char {
    hostDoesNotSupportSampling = 0,
    hostSupportsIntegralSampling = 1,
    hostSupportsFractionalSampling = 2,
};

// Play and record modes of the descriptor parameters.
enum : int16 {
    plugInDialogDontDisplay = 0,
    plugInDialogDisplay = 1,
    plugInDialogSilent = 2,
};
enum : int16 {
    plugInDialogOptional = 0,
    plugInDialogRequired = 1,
    plugInDialogNone = 2,
};

// Descriptor value types.
enum : uint32 {
    typeInteger = 0x6C6F6E67,        // 'long'
    typeFloat = 0x646F7562,          // 'doub'
    typeBoolean = 0x626F6F6C,        // 'bool'
    typeEnumerated = 0x656E756D,     // 'enum'
    typeNull = 0x6E756C6C,           // 'null'
    typeImageReference = 0x23496D52, // '#ImR'
};

// ---------------------------------------------------------------------------
// Callback suites. Calling conventions are the platform's default C ones.
typedef Boolean (*TestAbortProc)(void);
typedef void (*ProgressProc)(int32 done, int32 total);
typedef void (*HostProc)(int16 selector, intptr_t* data);
typedef void (*ProcessEventProc)(void* event);
typedef OSErr (*AdvanceStateProc)(void);
typedef OSErr (*GetPropertyProc)(uint32 signature, uint32 key, int32 index,
                                 intptr_t* simpleProperty, Handle* complexProperty);
typedef OSErr (*ColorServicesProc)(void* info);

struct PSPixelMask {
    PSPixelMask* next;
    void* maskData;
    int32 rowBytes;
    int32 colBytes;
    int32 maskDescription;
};

struct PSPixelMap {
    int32 version;
    VRect bounds;
    int32 imageMode;
    int32 rowBytes;
    int32 colBytes;
    int32 planeBytes;
    void* baseAddr;
    // version 1
    PSPixelMask* mat;
    PSPixelMask* masks;
    int32 maskPhaseRow;
    int32 maskPhaseCol;
};

typedef OSErr (*DisplayPixelsProc)(const PSPixelMap* source, const VRect* srcRect, int32 dstRow,
                                   int32 dstCol, void* platformContext);

typedef Handle (*NewPIHandleProc)(int32 size);
typedef void (*DisposePIHandleProc)(Handle h);
typedef int32 (*GetPIHandleSizeProc)(Handle h);
typedef OSErr (*SetPIHandleSizeProc)(Handle h, int32 newSize);
typedef Ptr (*LockPIHandleProc)(Handle h, Boolean moveHigh);
typedef void (*UnlockPIHandleProc)(Handle h);
typedef void (*RecoverSpaceProc)(int32 size);
typedef void (*DisposeRegularPIHandleProc)(Handle h);

struct HandleProcs {
    int16 handleProcsVersion;
    int16 numHandleProcs;
    NewPIHandleProc newProc;
    DisposePIHandleProc disposeProc;
    GetPIHandleSizeProc getSizeProc;
    SetPIHandleSizeProc setSizeProc;
    LockPIHandleProc lockProc;
    UnlockPIHandleProc unlockProc;
    RecoverSpaceProc recoverSpaceProc;
    DisposeRegularPIHandleProc disposeRegularHandleProc;
};

typedef struct BufferOpaque* BufferID;
typedef OSErr (*AllocateBufferProc)(int32 size, BufferID* bufferID);
typedef Ptr (*LockBufferProc)(BufferID bufferID, Boolean moveHigh);
typedef void (*UnlockBufferProc)(BufferID bufferID);
typedef void (*FreeBufferProc)(BufferID bufferID);
typedef int32 (*BufferSpaceProc)(void);

struct BufferProcs {
    int16 bufferProcsVersion;
    int16 numBufferProcs;
    AllocateBufferProc allocateProc;
    LockBufferProc lockProc;
    UnlockBufferProc unlockProc;
    FreeBufferProc freeProc;
    BufferSpaceProc spaceProc;
};

// ---------------------------------------------------------------------------
// Scripting descriptors.
typedef Handle PIDescriptorHandle;
typedef struct PIOpaqueReadDescriptor* PIReadDescriptor;
typedef struct PIOpaqueWriteDescriptor* PIWriteDescriptor;
typedef uint32 DescriptorKeyID;
typedef uint32 DescType;
typedef uint32 DescEnum;
typedef uint32 DescClassID;
typedef uint32 DescUnitID;
typedef DescriptorKeyID DescriptorKeyIDArray[];

struct PIDescriptorSimpleReference {
    DescType desiredClass;
    DescEnum keyForm;
    struct {
        Str255 name;
        int32 index;
        DescType type;
        DescEnum value;
    } keyData;
};

typedef PIReadDescriptor (*OpenReadDescriptorProc)(PIDescriptorHandle, DescriptorKeyID*);
typedef OSErr (*CloseReadDescriptorProc)(PIReadDescriptor);
typedef Boolean (*GetKeyProc)(PIReadDescriptor, DescriptorKeyID* key, DescType* type, int32* flags);
typedef OSErr (*GetIntegerProc)(PIReadDescriptor, int32*);
typedef OSErr (*GetFloatProc)(PIReadDescriptor, double*);
typedef OSErr (*GetUnitFloatProc)(PIReadDescriptor, DescUnitID*, double*);
typedef OSErr (*GetBooleanProc)(PIReadDescriptor, Boolean*);
typedef OSErr (*GetTextProc)(PIReadDescriptor, Handle*);
typedef OSErr (*GetAliasProc)(PIReadDescriptor, Handle*);
typedef OSErr (*GetEnumeratedProc)(PIReadDescriptor, DescEnum*);
typedef OSErr (*GetClassProc)(PIReadDescriptor, DescClassID*);
typedef OSErr (*GetSimpleReferenceProc)(PIReadDescriptor, PIDescriptorSimpleReference*);
typedef OSErr (*GetObjectProc)(PIReadDescriptor, DescClassID*, PIDescriptorHandle*);
typedef OSErr (*GetCountProc)(PIReadDescriptor, uint32*);
typedef OSErr (*GetStringProc)(PIReadDescriptor, Str255*);
typedef OSErr (*GetPinnedIntegerProc)(PIReadDescriptor, int32 min, int32 max, int32*);
typedef OSErr (*GetPinnedFloatProc)(PIReadDescriptor, const double* min, const double* max,
                                    double*);
typedef OSErr (*GetPinnedUnitFloatProc)(PIReadDescriptor, const double* min, const double* max,
                                        DescUnitID*, double*);

struct ReadDescriptorProcs {
    int16 readDescriptorProcsVersion;
    int16 numReadDescriptorProcs;
    OpenReadDescriptorProc openReadDescriptorProc;
    CloseReadDescriptorProc closeReadDescriptorProc;
    GetKeyProc getKeyProc;
    GetIntegerProc getIntegerProc;
    GetFloatProc getFloatProc;
    GetUnitFloatProc getUnitFloatProc;
    GetBooleanProc getBooleanProc;
    GetTextProc getTextProc;
    GetAliasProc getAliasProc;
    GetEnumeratedProc getEnumeratedProc;
    GetClassProc getClassProc;
    GetSimpleReferenceProc getSimpleReferenceProc;
    GetObjectProc getObjectProc;
    GetCountProc getCountProc;
    GetStringProc getStringProc;
    GetPinnedIntegerProc getPinnedIntegerProc;
    GetPinnedFloatProc getPinnedFloatProc;
    GetPinnedUnitFloatProc getPinnedUnitFloatProc;
};

typedef PIWriteDescriptor (*OpenWriteDescriptorProc)(void);
typedef OSErr (*CloseWriteDescriptorProc)(PIWriteDescriptor, PIDescriptorHandle*);
typedef OSErr (*PutIntegerProc)(PIWriteDescriptor, DescriptorKeyID, int32);
typedef OSErr (*PutFloatProc)(PIWriteDescriptor, DescriptorKeyID, const double*);
typedef OSErr (*PutUnitFloatProc)(PIWriteDescriptor, DescriptorKeyID, DescUnitID, const double*);
typedef OSErr (*PutBooleanProc)(PIWriteDescriptor, DescriptorKeyID, Boolean);
typedef OSErr (*PutTextProc)(PIWriteDescriptor, DescriptorKeyID, Handle);
typedef OSErr (*PutAliasProc)(PIWriteDescriptor, DescriptorKeyID, Handle);
typedef OSErr (*PutEnumeratedProc)(PIWriteDescriptor, DescriptorKeyID, DescType, DescEnum);
typedef OSErr (*PutClassProc)(PIWriteDescriptor, DescriptorKeyID, DescClassID);
typedef OSErr (*PutSimpleReferenceProc)(PIWriteDescriptor, DescriptorKeyID,
                                        const PIDescriptorSimpleReference*);
typedef OSErr (*PutObjectProc)(PIWriteDescriptor, DescriptorKeyID, DescClassID, PIDescriptorHandle);
typedef OSErr (*PutCountProc)(PIWriteDescriptor, DescriptorKeyID, uint32);
typedef OSErr (*PutStringProc)(PIWriteDescriptor, DescriptorKeyID, const unsigned char*);
typedef OSErr (*PutScopedClassProc)(PIWriteDescriptor, DescriptorKeyID, DescClassID);
typedef OSErr (*PutScopedObjectProc)(PIWriteDescriptor, DescriptorKeyID, DescClassID,
                                     PIDescriptorHandle*);

struct WriteDescriptorProcs {
    int16 writeDescriptorProcsVersion;
    int16 numWriteDescriptorProcs;
    OpenWriteDescriptorProc openWriteDescriptorProc;
    CloseWriteDescriptorProc closeWriteDescriptorProc;
    PutIntegerProc putIntegerProc;
    PutFloatProc putFloatProc;
    PutUnitFloatProc putUnitFloatProc;
    PutBooleanProc putBooleanProc;
    PutTextProc putTextProc;
    PutAliasProc putAliasProc;
    PutEnumeratedProc putEnumeratedProc;
    PutClassProc putClassProc;
    PutSimpleReferenceProc putSimpleReferenceProc;
    PutObjectProc putObjectProc;
    PutCountProc putCountProc;
    PutStringProc putStringProc;
    PutScopedClassProc putScopedClassProc;
    PutScopedObjectProc putScopedObjectProc;
};

// Number of procedures each suite version 0 must carry.
constexpr int16 kReadDescriptorProcCount = 18;
constexpr int16 kWriteDescriptorProcCount = 16;

struct PIDescriptorParameters {
    int16 descriptorParametersVersion;
    int16 playInfo;
    int16 recordInfo;
    PIDescriptorHandle descriptor;
    WriteDescriptorProcs* writeDescriptorProcs;
    ReadDescriptorProcs* readDescriptorProcs;
};

// ---------------------------------------------------------------------------
// The about record handed in place of the filter record for selector 0.
struct SPBasicSuite;
struct AboutRecord {
    void* platformData;
    SPBasicSuite* sSPBasic;
    void* plugInRef;
    char reserved[244];
};

// The record and the big-document structure are declared under 4-byte
// packing on Windows; on 64-bit Windows that puts 8-byte pointers at offsets
// natural alignment would not. We use the same packing on every build so our
// own host and module agree everywhere.
#pragma pack(push, 4)

struct BigDocumentStruct {
    int32 PluginUsing32BitCoordinates;
    VPoint imageSize32;
    VRect filterRect32;
    VRect inRect32;
    VRect outRect32;
    VRect maskRect32;
    VPoint floatCoord32;
    VPoint wholeSize32;
};

struct FilterRecord {
    int32 serialNumber;
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters;
    Point imageSize;
    int16 planes;
    Rect filterRect;
    RGBColor background;
    RGBColor foreground;
    int32 maxSpace;
    int32 bufferSpace;
    Rect inRect;
    int16 inLoPlane;
    int16 inHiPlane;
    Rect outRect;
    int16 outLoPlane;
    int16 outHiPlane;
    void* inData;
    int32 inRowBytes;
    void* outData;
    int32 outRowBytes;
    Boolean isFloating;
    Boolean haveMask;
    Boolean autoMask;
    Rect maskRect;
    void* maskData;
    int32 maskRowBytes;
    FilterColor backColor;
    FilterColor foreColor;
    OSType hostSig;
    HostProc hostProc;
    int16 imageMode;
    Fixed imageHRes;
    Fixed imageVRes;
    Point floatCoord;
    Point wholeSize;
    PlugInMonitor monitor;
    void* platformData;
    BufferProcs* bufferProcs;
    void* resourceProcs;
    ProcessEventProc processEvent;
    DisplayPixelsProc displayPixels;
    HandleProcs* handleProcs;
    // Interface 3.0
    Boolean supportsDummyChannels;
    Boolean supportsAlternateLayouts;
    int16 wantLayout;
    int16 filterCase;
    int16 dummyPlaneValue;
    void* premiereHook;
    AdvanceStateProc advanceState;
    Boolean supportsAbsolute;
    Boolean wantsAbsolute;
    GetPropertyProc getPropertyObsolete;
    Boolean cannotUndo;
    Boolean supportsPadding;
    int16 inputPadding;
    int16 outputPadding;
    int16 maskPadding;
    char samplingSupport;
    char reservedByte;
    Fixed inputRate;
    Fixed maskRate;
    ColorServicesProc colorServices;
    // Layer structure counts
    int16 inLayerPlanes;
    int16 inTransparencyMask;
    int16 inLayerMasks;
    int16 inInvertedLayerMasks;
    int16 inNonLayerPlanes;
    int16 outLayerPlanes;
    int16 outTransparencyMask;
    int16 outLayerMasks;
    int16 outInvertedLayerMasks;
    int16 outNonLayerPlanes;
    int16 absLayerPlanes;
    int16 absTransparencyMask;
    int16 absLayerMasks;
    int16 absInvertedLayerMasks;
    int16 absNonLayerPlanes;
    int16 inPreDummyPlanes;
    int16 inPostDummyPlanes;
    int16 outPreDummyPlanes;
    int16 outPostDummyPlanes;
    int32 inColumnBytes;
    int32 inPlaneBytes;
    int32 outColumnBytes;
    int32 outPlaneBytes;
    // Interface 3.0.4
    void* imageServicesProcs;
    void* propertyProcs;
    int16 inTileHeight;
    int16 inTileWidth;
    Point inTileOrigin;
    int16 absTileHeight;
    int16 absTileWidth;
    Point absTileOrigin;
    int16 outTileHeight;
    int16 outTileWidth;
    Point outTileOrigin;
    int16 maskTileHeight;
    int16 maskTileWidth;
    Point maskTileOrigin;
    // Interface 4.0
    PIDescriptorParameters* descriptorParameters;
    Str255* errorString;
    void* channelPortProcs;
    void* documentInfo;
    // Interface 5.0
    SPBasicSuite* sSPBasic;
    void* plugInRef;
    int32 depth;
    // Interface 6.0
    Handle iCCprofileData;
    int32 iCCprofileSize;
    int32 canUseICCProfiles;
    // Interface 7.0
    int32 hasImageScrap;
    // Interface 8.0
    BigDocumentStruct* bigDocumentData;
    // Interface 10.0
    void* input3DScene;
    void* output3DScene;
    Boolean createNewLayer;
    // Interface 13.0
    Handle iCCWorkingProfileData;
    int32 iCCWorkingProfileSize;
    char reserved[64];
};

#pragma pack(pop)

// The entry point every filter module exports.
typedef void (*PluginEntryProc)(int16 selector, void* pluginParamBlock, intptr_t* data,
                                int16* result);

} // extern "C"

// Four-character codes: the first character in the most significant byte.
constexpr uint32_t fourCC(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

// The published layout, pinned per ABI. A wrong offset here means a real
// editor and this module would disagree about every field after it.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(FilterRecord, parameters) == 12);
static_assert(offsetof(FilterRecord, planes) == 20);
static_assert(offsetof(FilterRecord, filterRect) == 22);
static_assert(offsetof(FilterRecord, maxSpace) == 44);
static_assert(offsetof(FilterRecord, bufferSpace) == 48);
static_assert(offsetof(FilterRecord, inRect) == 52);
static_assert(offsetof(FilterRecord, inLoPlane) == 60);
static_assert(offsetof(FilterRecord, outRect) == 64);
static_assert(offsetof(FilterRecord, inData) == 76);
static_assert(offsetof(FilterRecord, inRowBytes) == 80);
static_assert(offsetof(FilterRecord, outData) == 84);
static_assert(offsetof(FilterRecord, outRowBytes) == 88);
static_assert(offsetof(FilterRecord, isFloating) == 92);
static_assert(offsetof(FilterRecord, haveMask) == 93);
static_assert(offsetof(FilterRecord, autoMask) == 94);
static_assert(offsetof(FilterRecord, maskRect) == 96);
static_assert(offsetof(FilterRecord, maskData) == 104);
static_assert(offsetof(FilterRecord, maskRowBytes) == 108);
static_assert(offsetof(FilterRecord, hostSig) == 120);
static_assert(offsetof(FilterRecord, imageMode) == 128);
static_assert(offsetof(FilterRecord, floatCoord) == 140);
static_assert(offsetof(FilterRecord, platformData) == 188);
static_assert(offsetof(FilterRecord, displayPixels) == 204);
static_assert(offsetof(FilterRecord, handleProcs) == 208);
static_assert(offsetof(FilterRecord, filterCase) == 216);
static_assert(offsetof(FilterRecord, advanceState) == 224);
static_assert(offsetof(FilterRecord, inputPadding) == 238);
static_assert(offsetof(FilterRecord, samplingSupport) == 244);
static_assert(offsetof(FilterRecord, inputRate) == 248);
static_assert(offsetof(FilterRecord, maskRate) == 252);
static_assert(offsetof(FilterRecord, inLayerPlanes) == 260);
static_assert(offsetof(FilterRecord, inPreDummyPlanes) == 290);
static_assert(offsetof(FilterRecord, descriptorParameters) == 356);
static_assert(offsetof(FilterRecord, sSPBasic) == 372);
static_assert(offsetof(FilterRecord, depth) == 380);
static_assert(offsetof(FilterRecord, iCCprofileData) == 384);
static_assert(offsetof(FilterRecord, iCCprofileSize) == 388);
static_assert(offsetof(FilterRecord, canUseICCProfiles) == 392);
static_assert(offsetof(FilterRecord, bigDocumentData) == 400);
static_assert(offsetof(FilterRecord, createNewLayer) == 412);
static_assert(sizeof(BigDocumentStruct) == 92);
static_assert(offsetof(AboutRecord, sSPBasic) == 4);
static_assert(offsetof(HandleProcs, lockProc) == 20);
static_assert(offsetof(PIDescriptorParameters, descriptor) == 8);
static_assert(offsetof(PIDescriptorParameters, readDescriptorProcs) == 16);
static_assert(offsetof(ReadDescriptorProcs, getPinnedUnitFloatProc) == 72);
static_assert(offsetof(WriteDescriptorProcs, putScopedObjectProc) == 64);
#else
static_assert(offsetof(FilterRecord, parameters) == 20);
static_assert(offsetof(FilterRecord, planes) == 32);
static_assert(offsetof(FilterRecord, filterRect) == 34);
static_assert(offsetof(FilterRecord, maxSpace) == 56);
static_assert(offsetof(FilterRecord, bufferSpace) == 60);
static_assert(offsetof(FilterRecord, inRect) == 64);
static_assert(offsetof(FilterRecord, inLoPlane) == 72);
static_assert(offsetof(FilterRecord, outRect) == 76);
static_assert(offsetof(FilterRecord, inData) == 88);
static_assert(offsetof(FilterRecord, inRowBytes) == 96);
static_assert(offsetof(FilterRecord, outData) == 100);
static_assert(offsetof(FilterRecord, outRowBytes) == 108);
static_assert(offsetof(FilterRecord, isFloating) == 112);
static_assert(offsetof(FilterRecord, haveMask) == 113);
static_assert(offsetof(FilterRecord, autoMask) == 114);
static_assert(offsetof(FilterRecord, maskRect) == 116);
static_assert(offsetof(FilterRecord, maskData) == 124);
static_assert(offsetof(FilterRecord, maskRowBytes) == 132);
static_assert(offsetof(FilterRecord, hostSig) == 144);
static_assert(offsetof(FilterRecord, imageMode) == 156);
static_assert(offsetof(FilterRecord, floatCoord) == 168);
static_assert(offsetof(FilterRecord, platformData) == 216);
static_assert(offsetof(FilterRecord, displayPixels) == 248);
static_assert(offsetof(FilterRecord, handleProcs) == 256);
static_assert(offsetof(FilterRecord, filterCase) == 268);
static_assert(offsetof(FilterRecord, advanceState) == 280);
static_assert(offsetof(FilterRecord, inputPadding) == 302);
static_assert(offsetof(FilterRecord, samplingSupport) == 308);
static_assert(offsetof(FilterRecord, inputRate) == 312);
static_assert(offsetof(FilterRecord, maskRate) == 316);
static_assert(offsetof(FilterRecord, inLayerPlanes) == 328);
static_assert(offsetof(FilterRecord, inPreDummyPlanes) == 358);
static_assert(offsetof(FilterRecord, descriptorParameters) == 432);
static_assert(offsetof(FilterRecord, sSPBasic) == 464);
static_assert(offsetof(FilterRecord, depth) == 480);
static_assert(offsetof(FilterRecord, iCCprofileData) == 484);
static_assert(offsetof(FilterRecord, iCCprofileSize) == 492);
static_assert(offsetof(FilterRecord, canUseICCProfiles) == 496);
static_assert(offsetof(FilterRecord, bigDocumentData) == 504);
static_assert(offsetof(FilterRecord, createNewLayer) == 528);
static_assert(sizeof(BigDocumentStruct) == 92);
static_assert(offsetof(AboutRecord, sSPBasic) == 8);
static_assert(offsetof(HandleProcs, lockProc) == 40);
static_assert(offsetof(PIDescriptorParameters, descriptor) == 8);
static_assert(offsetof(PIDescriptorParameters, readDescriptorProcs) == 24);
static_assert(offsetof(ReadDescriptorProcs, getPinnedUnitFloatProc) == 144);
static_assert(offsetof(WriteDescriptorProcs, putScopedObjectProc) == 128);
#endif
static_assert(offsetof(BigDocumentStruct, filterRect32) == 12);
static_assert(offsetof(BigDocumentStruct, inRect32) == 28);
static_assert(offsetof(BigDocumentStruct, outRect32) == 44);
static_assert(offsetof(BigDocumentStruct, maskRect32) == 60);
static_assert(offsetof(BigDocumentStruct, floatCoord32) == 76);
