/*
 * Lentaro audio engine: the C interface the application calls.
 *
 * One engine per process. Decoding, the looping tempo/pitch channel, the
 * output device and the feed of an encoder process live behind these calls.
 *
 * Threads: every function here is called from the application's
 * user-interface thread unless its comment says otherwise. The engine runs
 * its own threads (the output callback, the decode-ahead thread, the
 * encoder writers) between BASS_Init and BASS_Free and never calls back into
 * the application.
 *
 * Errors: a call that fails returns 0 (or FALSE, or -1 where it says so) and
 * leaves a code from BassErrorCode for BASS_ErrorGetCode. A call that
 * succeeds sets BASS_OK. No C++ exception ever leaves this interface.
 *
 * Handles are 32-bit, never 0 for a live object and never reused while the
 * process runs. Every call on 0 or on a freed handle is harmless: it does
 * nothing and sets BASS_ERROR_HANDLE.
 *
 * Byte positions and lengths count bytes of the channel's decoded format:
 * 16-bit samples, the source's own channel count, at the source's own rate.
 * One second of a 44.1 kHz stereo source is 176400 bytes. They do not change
 * with tempo: a position names a place in the file.
 */
#ifndef LENTARO_BASS_H
#define LENTARO_BASS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t DWORD;
typedef uint64_t QWORD;
typedef int BOOL;
typedef DWORD HSTREAM;  /* a decoding stream or a tempo channel */
typedef DWORD HMUSIC;   /* a decoding module channel */
typedef DWORD HCHANNEL; /* any channel */
typedef DWORD HENCODE;  /* an encoder attached to a channel */

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

/* Version numbers: high 16 bits are major.minor (0x0204 for 2.4). */
#define BASSVERSION 0x0204

/* BASS_Init flags */
#define BASS_DEVICE_MANUAL 0x40000000u /* Lentaro: no device thread; the
                                          output is pulled with
                                          BASS_Lentaro_RenderOutput (tests,
                                          offline rendering) */

/* Channel creation flags */
#define BASS_SAMPLE_LOOP 0x4u
#define BASS_MUSIC_RAMP 0x200u
#define BASS_MUSIC_PRESCAN 0x20000u
#define BASS_STREAM_DECODE 0x200000u
#define BASS_MUSIC_DECODE BASS_STREAM_DECODE
#define BASS_FX_FREESOURCE 0x10000u
#define BASS_UNICODE 0x80000000u /* paths are UTF-8 here; accepted, no effect */

/* BASS_ChannelIsActive results */
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2
#define BASS_ACTIVE_PAUSED 3

/* Attributes */
#define BASS_ATTRIB_VOL 2             /* 0 .. 1 */
#define BASS_ATTRIB_TEMPO 0x10000     /* percent: speed factor 1 + t/100 */
#define BASS_ATTRIB_TEMPO_PITCH 0x10001 /* semitones */

/* Position modes */
#define BASS_POS_BYTE 0

/* BASS_Encode_Start flags */
#define BASS_ENCODE_AUTOFREE 0x40000u

/* Error codes left by a failed call, read with BASS_ErrorGetCode. */
enum BassErrorCode {
  BASS_OK = 0,
  BASS_ERROR_MEM = 1,       /* out of memory */
  BASS_ERROR_FILEOPEN = 2,  /* the file is missing or cannot be read */
  BASS_ERROR_DRIVER = 3,    /* no output device could be opened */
  BASS_ERROR_HANDLE = 5,    /* 0, freed or unknown handle */
  BASS_ERROR_FORMAT = 6,    /* no decoder takes the file */
  BASS_ERROR_POSITION = 7,  /* position outside the file */
  BASS_ERROR_INIT = 8,      /* BASS_Init has not succeeded */
  BASS_ERROR_ALREADY = 14,  /* already initialised */
  BASS_ERROR_ILLTYPE = 19,  /* attribute or mode not supported */
  BASS_ERROR_ILLPARAM = 20, /* an argument is invalid (NaN, null path...) */
  BASS_ERROR_DEVICE = 23,   /* no such device number */
  BASS_ERROR_CREATE = 33,   /* the encoder process could not be started */
  BASS_ERROR_NOTAVAIL = 37, /* the operation is not available */
  BASS_ERROR_UNKNOWN = -1
};

/* ---- Library ---------------------------------------------------------- */

/* Version of the core engine; high 16 bits are 0x0204. Any thread. */
DWORD BASS_GetVersion(void);

/* Version of the tempo/pitch stage; high 16 bits are 0x0204. Any thread. */
DWORD BASS_FX_GetVersion(void);

/* Code left by the last call of this interface on the calling thread. */
int BASS_ErrorGetCode(void);

/* Opens the output. device -1: the system's default output (SDL);
 * device 0: no sound, time still advances in real time on a thread of the
 * engine; BASS_DEVICE_MANUAL in flags: no thread at all, see
 * BASS_Lentaro_RenderOutput. freq is the output rate (44100). win is the
 * application's window, kept only as an identity; dsguid must be null.
 * Returns FALSE with BASS_ERROR_DRIVER when no device opens, or
 * BASS_ERROR_ALREADY when called twice without BASS_Free. */
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* dsguid);

/* Stops and releases every channel and encoder and closes the output.
 * Running encoders get the rest of their input and the end of it; waits,
 * bounded (a few seconds), for them to finish their files. */
BOOL BASS_Free(void);

/* ---- Channels --------------------------------------------------------- */

/* Opens a file as a decoding stream (flags must hold BASS_STREAM_DECODE).
 * mem must be FALSE; offset and length must be 0. Returns 0 with
 * BASS_ERROR_FILEOPEN (missing or unreadable) or BASS_ERROR_FORMAT (no
 * decoder takes it). */
HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length,
                              DWORD flags);

/* Opens a tracker module (MOD, S3M, XM, IT...) as a decoding channel.
 * Same contract as BASS_StreamCreateFile; freq 0 means the output rate. */
HMUSIC BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags,
                      DWORD freq);

/* Wraps a decoding channel in a playable tempo/pitch channel. With
 * BASS_FX_FREESOURCE the new channel owns the source (freeing it frees the
 * source); with BASS_SAMPLE_LOOP it repeats from the start at the end,
 * seamlessly. Starts at tempo 0 %, pitch 0, volume 1, stopped. */
HSTREAM BASS_FX_TempoCreate(DWORD chan, DWORD flags);

/* Frees a stream (and its owned source, and its encoder). Harmless on 0 or
 * a dead handle (returns FALSE, BASS_ERROR_HANDLE). */
BOOL BASS_StreamFree(HSTREAM handle);
BOOL BASS_MusicFree(HMUSIC handle);

/* restart FALSE continues where the channel stands; TRUE starts over. */
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL BASS_ChannelPause(DWORD handle);
/* Ends play; the channel stays and can be played again. */
BOOL BASS_ChannelStop(DWORD handle);

/* BASS_ACTIVE_*; BASS_ACTIVE_STOPPED for 0 or a dead handle. */
DWORD BASS_ChannelIsActive(DWORD handle);

/* Takes effect at once, in any state. Volume is clamped to 0..1, tempo to
 * -95..+5000 percent, pitch to -60..+60 semitones; NaN and infinities are
 * refused (FALSE, BASS_ERROR_ILLPARAM). */
BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);
BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value);

/* mode must be BASS_POS_BYTE. The position is the place of the file that is
 * audible now (latency of the stretcher and of the output accounted for).
 * Returns (QWORD)-1 on failure. */
QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode);
QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);
/* Sample-exact seek; what was buffered before is never heard. */
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos);

/* ---- Encoder ---------------------------------------------------------- */

/* Starts cmdline as a process and feeds it what the channel plays (after
 * tempo, pitch and volume) as a WAV stream with header on its standard
 * input: 16-bit PCM at the output rate, stereo. The command line is split
 * into words at spaces; a pair of double quotes groups a word and is
 * removed; no shell is involved. The encoder ends when its channel is freed
 * (BASS_ENCODE_AUTOFREE) or at BASS_Free. proc must be null. Returns 0 with
 * BASS_ERROR_HANDLE or BASS_ERROR_CREATE. */
HENCODE BASS_Encode_Start(DWORD handle, const char* cmdline, DWORD flags, void* proc,
                          void* user);

/* Lentaro: as BASS_Encode_Start, with the program and its arguments given
 * as a null-terminated argument vector (argv[0] is the program's path), so
 * that no quoting is ever needed. */
HENCODE BASS_Encode_StartArgv(DWORD handle, const char* const* argv, DWORD flags, void* proc,
                              void* user);

/* Lentaro: what became of an encoder. Stays readable after the encoder and
 * its channel are gone. */
typedef struct BASS_ENCODE_STATUS {
  BOOL running;       /* the process has not ended yet */
  BOOL failed;        /* it ended with a non-zero status or a signal, or
                         stopped taking input before its channel ended */
  int exitStatus;     /* exit code once ended, -1 while running or killed */
  int termSignal;     /* the signal that ended it, 0 otherwise */
  QWORD bytesWritten; /* bytes of WAV written to its input */
  QWORD bytesDropped; /* bytes lost because the feed ring overflowed */
} BASS_ENCODE_STATUS;

BOOL BASS_Encode_GetStatus(HENCODE handle, BASS_ENCODE_STATUS* status);

/* ---- Testing and offline rendering ------------------------------------ */

/* Lentaro: with BASS_DEVICE_MANUAL, mixes the next `frames` frames of the
 * output (interleaved 16-bit stereo at the output rate) into out, exactly as
 * the device callback would, and advances time. Waits for decoding when it
 * is behind, so the result never has gaps. Returns the frames rendered, or
 * -1 (BASS_ERROR_NOTAVAIL) when the output is not manual. Any one thread at
 * a time. */
int BASS_Lentaro_RenderOutput(int16_t* out, int frames);

#ifdef __cplusplus
}
#endif

#endif /* LENTARO_BASS_H */
