#pragma once
#include <cstdint>

// The codes of run-time errors and warnings (RunError, RunWarning). The thousands follow the
// command groups; 10000 and above are system errors of start-up and the interpreter.
enum ErrorCode : int32_t {
  // The language.
  kErrFunctionEnteredWithoutCall = 21,
  kErrOutOfMemory = 101,
  kErrArrayIndexOutOfRange = 102,
  kErrArrayFileNotOpened = 104,
  kErrFileNotFound = 105,
  kErrFileExists = 106,
  kErrTextTooLong = 107,
  kErrCallsTooDeep = 108,
  kErrArrayFileWithoutArray = 109,
  kErrValueOutOfRange = 110,
  kErrDivisionByZero = 111,  // a warning
  kErrFrameRateOutOfRange = 112,
  kErrRandomRangeBelowOne = 113,
  kErrIncNeedsVariable = 114,
  kErrDecNeedsVariable = 115,
  // Sprites.
  kErrSpriteNumberOutOfRange = 301,
  kErrSpriteMissing = 302,
  kErrSpriteSaveFlagInvalid = 303,
  kErrSpriteTransparencyInvalid = 304,
  kErrSpriteScaleOutOfRange = 311,
  kErrSpriteSizeNegative = 312,
  // Images.
  kErrImageGrabFailed = 500,
  kErrImageNumberOutOfRange = 501,
  kErrImageMissing = 502,
  kErrImageAreaOutside = 503,
  kErrImageAreaEmpty = 504,
  kErrImageNotSaved = 505,  // the language's "Image command failed"
  // Bitmaps.
  kErrBitmapCopyFailed = 1000,
  kErrBitmapNumberOutOfRange = 1001,
  kErrBitmapMissing = 1002,
  kErrBitmapFileUnreadable = 1003,  // a warning
  kErrBitmapNotSaved = 1004,
  kErrBitmapNotCreated = 1005,
  kErrScreenBitmapDeleted = 1006,
  kErrBitmapCopiedOntoItself = 1007,
  kErrBitmapTooSmall = 1008,
  kErrScreenBitmapCreated = 1009,
  kErrBitmapAreaOutside = 1010,
  kErrBitmapAreaEmpty = 1011,
  kErrBlurOutOfRange = 1012,
  kErrFadeOutOfRange = 1013,
  kErrGammaOutOfRange = 1014,  // a warning
  // Display modes.
  kErrModeSizeInvalid = 1501,
  kErrModeDepthInvalid = 1502,
  kErrModeNotSet = 1503,         // a warning: the old mode is back
  kErrModeSurfacesFailed = 1504,  // a warning: the old mode is back
  // Video animations.
  kErrAnimationNumberOutOfRange = 2001,
  kErrAnimationNotLoaded = 2002,
  kErrAnimationMissing = 2004,
  kErrAnimationNotPlayed = 2007,     // a warning
  kErrAnimationNotPlaying = 2008,    // a warning
  kErrAnimationAlreadyPaused = 2009, // a warning
  kErrAnimationNotResumed = 2010,    // a warning
  // Sounds.
  kErrSoundNumberOutOfRange = 3001,
  kErrSoundNotLoaded = 3002,  // a warning
  kErrSoundNumberInUse = 3003,
  kErrSoundMissing = 3004,    // a warning
  kErrSoundVolumeOutOfRange = 3005,
  kErrSoundFrequencyOutOfRange = 3006,
  kErrSoundPanOutOfRange = 3007,
  kErrSoundNotSaved = 3008,
  kErrSoundCloneFailed = 3021,
  kErrSoundCloneSourceMissing = 3022,
  kErrSoundClonedIntoItself = 3023,
  kErrSoundFeatureUnavailable = 3201,  // a warning
  // Music.
  kErrMusicNumberOutOfRange = 3501,
  kErrMusicNotLoaded = 3502,   // a warning
  kErrMusicMissing = 3504,     // a warning
  kErrMusicNotPlaying = 3507,  // a warning
  // Input devices and force feedback.
  kErrControlDeviceNotFound = 4001,  // a warning
  kErrNoControlDevice = 4002,        // a warning
  kErrNoForceFeedback = 4101,        // a warning
  kErrForceMagnitudeOutOfRange = 4102,
  kErrForceTimeNegative = 4103,
  kErrForceAngleOutOfRange = 4104,
  // Lights, fog and ambient light.
  kErrLightNumberOutOfRange = 7301,
  kErrLightExists = 7302,
  kErrLightMissing = 7303,
  kErrLightNotCreated = 7304,
  kErrLightZeroDeleted = 7305,
  kErrFogUnavailable = 7901,
  kErrAmbientPercentOutOfRange = 7911,
  // 3D objects, limbs and meshes.
  kErrMeshNumberOutOfRange = 7001,
  kErrMeshNotLoaded = 7002,
  kErrMeshMissing = 7003,
  kErrObjectNumberOutOfRange = 7006,
  kErrObjectExists = 7007,
  kErrObjectMissing = 7008,
  kErrModelNotLoaded = 7018,
  kErrAngleOutOfRange = 7019,
  kErrLimbOutOfRange = 7021,
  kErrLimbNotAddable = 7022,
  kErrLimbMissing = 7023,
  kErrLimbExists = 7024,
  kErrLimbNotReparented = 7025,
  kErrLimbPreviousMissing = 7026,
  kErrLimbNotLinkable = 7027,
  kErrMeshNotMade = 7028,
  // Tiled matrices.
  kErrMatrixExists = 7009,
  kErrMatrixNumberOutOfRange = 7010,
  kErrMatrixSizeNotPositive = 7011,
  kErrMatrixTilesBelowOne = 7012,
  kErrMatrixMissing = 7013,
  kErrMatrixHeightNotPositive = 7014,
  kErrMatrixTooLarge = 7015,
  kErrMatrixTileOutside = 7016,
  kErrMatrixPointOutside = 7017,
  kErrModelFileKind = 7101,
  kErrModelNotRead = 7102,  // a warning
  // The camera's range.
  kErrNearPlaneOutOfRange = 7912,
  // Object animation.
  kErrObjectNoAnimation = 7601,
  kErrAnimationFrameOutOfRange = 7602,
  kErrAnimationSpeedOutOfRange = 7603,
  kErrInterpolationOutOfRange = 7604,
  kErrAnimationNotAppended = 7605,
  kErrAppendFrameTooLow = 7606,
  // Model files.
  kErrConvertSourceNot3ds = 7931,
  kErrConvertTargetNotX = 7932,
  // Files and folders (warnings, but for a folder that cannot be entered).
  kErrFolderNotListed = 8001,
  kErrSearchEnded = 8002,
  kErrFolderNotEntered = 8003,
  kErrFileNotMade = 8021,
  kErrFileNotDeleted = 8022,
  kErrFileNotCopied = 8023,
  kErrFileNotRenamed = 8024,
  kErrFileNotMoved = 8025,
  kErrFolderNotMade = 8101,
  kErrFolderNotDeleted = 8102,
  kErrProgramNotStarted = 8103,
  // File streams (warnings).
  kErrStreamNotOpened = 8201,
  kErrStreamNotCreated = 8202,
  kErrStreamAlreadyOpen = 8203,
  kErrStreamNotOpen = 8204,
  kErrStreamReadFailed = 8211,
  kErrStreamWriteFailed = 8212,
  kErrStreamNumberOutOfRange = 8213,
  // FTP (warnings).
  kErrFtpNotConnected = 8301,
  kErrFtpFolderNotSet = 8302,
  kErrFtpNotPut = 8303,
  kErrFtpNotDeleted = 8304,
  kErrFtpNotGot = 8305,
  // The checklist.
  kErrChecklistRowOutOfRange = 9001,
  kErrChecklistRowBeyondCount = 9002,
  kErrChecklistWithoutTexts = 9003,
  kErrChecklistWithoutValues = 9004,
  kErrChecklistNotMade = 9005,
  // Display card and memory.
  kErrCardNotUsed = 9011,  // a warning: another card is in use
  kErrTextureMemoryUnknown = 9012,
  kErrVideoMemoryUnknown = 9013,
  // System errors.
  kErrWindowNotCreated = 10002,
  kErrDisplayNotStarted = 10003,
  kErrDisplayModeNotSet = 10004,
  kErrSurfacesNotCreated = 10005,
  kErrInputDevicesNotStarted = 10007,
  kErrLanguageNotFound = 10008,
  kErrExceptionInCommand = 10010,
};
