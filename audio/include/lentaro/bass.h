/*
 * Lentaro audio engine: the C interface the application calls.
 *
 * One engine per process. Decoding, the looping tempo/pitch channel, the
 * output device and the feed of an encoder process live behind these calls.
 *
 * Threads: the application makes these calls from one thread, its
 * user-interface thread (a test may use any one thread at a time). Besides,
 * between BASS_Init and BASS_Free (never while either runs), the queries
 * BASS_ChannelIsActive, BASS_ChannelGetPosition, BASS_ChannelGetLength,
 * BASS_ChannelGetAttribute, BASS_ChannelBytes2Seconds,
 * BASS_ChannelSeconds2Bytes, BASS_Encode_GetStatus,
 * BASS_Lentaro_ChannelGetLoopPass and BASS_Lentaro_ChannelGetTempoChanges
 * may come from any other thread, on any handle, live or freed. BASS_GetVersion,
 * BASS_FX_GetVersion and BASS_ErrorGetCode: any thread, any time. No call
 * waits for sound or for an encoder process, except BASS_Free (bounded) and
 * BASS_Lentaro_RenderOutput (which decodes). The engine runs its own
 * threads (the output callback, the decode-ahead thread, the encoder
 * writers and the thread that finishes encoders) between BASS_Init and
 * BASS_Free and never calls back into the application.
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
/* Lentaro: no device thread; the output is pulled with
 * BASS_Lentaro_RenderOutput (tests, offline rendering). */
#define BASS_DEVICE_MANUAL 0x40000000u

/* Channel creation flags */
#define BASS_SAMPLE_LOOP 0x4u       /* BASS_FX_TempoCreate: repeat seamlessly */
#define BASS_FX_FREESOURCE 0x10000u /* BASS_FX_TempoCreate: own the source */
/* Accepted and without effect: every stream and module is a decoding
 * channel, modules always get the decoder's volume ramping and a length
 * measured at load, and paths are UTF-8. */
#define BASS_MUSIC_RAMP 0x200u
#define BASS_MUSIC_PRESCAN 0x20000u
#define BASS_STREAM_DECODE 0x200000u
#define BASS_MUSIC_DECODE BASS_STREAM_DECODE
#define BASS_UNICODE 0x80000000u

/* BASS_ChannelIsActive results */
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2
#define BASS_ACTIVE_PAUSED 3

/* Attributes */
#define BASS_ATTRIB_VOL 2               /* 0 .. 1 */
#define BASS_ATTRIB_TEMPO 0x10000       /* percent: speed factor 1 + t/100 */
#define BASS_ATTRIB_TEMPO_PITCH 0x10001 /* semitones */
/* Lentaro: the stretcher that changes tempo and pitch, one of
 * BASS_LENTARO_STRETCHER_*. A new channel takes the engine's default (see
 * BASS_Lentaro_SetDefaultStretcher). Set while the channel plays, the
 * sound goes on at once from the place heard, spliced into the new
 * stretcher's like a change of tempo or pitch. */
#define BASS_ATTRIB_LENTARO_STRETCHER 0x15000
#define BASS_LENTARO_STRETCHER_FAST 0 /* SoundTouch: little CPU */
#define BASS_LENTARO_STRETCHER_HIGH 1 /* Rubber Band R3: best sound, more CPU */

/* Position modes */
#define BASS_POS_BYTE 0

/* BASS_Encode_Start flags. Accepted and without effect: an encoder always
 * ends with its channel. */
#define BASS_ENCODE_AUTOFREE 0x40000u

/* Error codes left by a failed call, read with BASS_ErrorGetCode. */
enum BassErrorCode {
  BASS_OK = 0,
  BASS_ERROR_MEM = 1,       /* out of memory, or no room for another
                               playable channel (256 at a time) */
  BASS_ERROR_FILEOPEN = 2,  /* the file is missing or cannot be read */
  BASS_ERROR_DRIVER = 3,    /* no output device could be opened */
  BASS_ERROR_HANDLE = 5,    /* 0, freed or unknown handle */
  BASS_ERROR_FORMAT = 6,    /* no decoder takes the file */
  BASS_ERROR_POSITION = 7,  /* position outside the file */
  BASS_ERROR_INIT = 8,      /* BASS_Init has not succeeded */
  BASS_ERROR_ALREADY = 14,  /* already initialised, already wrapped, or
                               no room for another encoder on a channel */
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

/* Opens the output. device -1 (or 1): the system's default output (SDL),
 * reopened by the engine if it goes away; device 0: no sound, time still
 * advances in real time on a thread of the engine; BASS_DEVICE_MANUAL in
 * flags (any device): no output thread at all, see
 * BASS_Lentaro_RenderOutput. The output always runs at 44100 Hz stereo:
 * freq is not used. win is not used either (the output belongs to no
 * window). dsguid must be null. Returns FALSE with BASS_ERROR_DRIVER when
 * no device opens, BASS_ERROR_DEVICE for another device number,
 * BASS_ERROR_ILLPARAM for a dsguid, or BASS_ERROR_ALREADY when called
 * twice without BASS_Free. */
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* dsguid);

/* Stops and releases every channel and encoder and closes the output.
 * Running encoders get the rest of their input and the end of it; waits
 * for them to finish their files, at most five seconds for all of them
 * together, and kills what is still running then (also encoders of
 * channels freed before that are still finishing). Their statuses stay
 * readable. */
BOOL BASS_Free(void);

/* ---- Channels --------------------------------------------------------- */

/* Opens a file as a decoding stream, whatever the flags (see above).
 * mem must be FALSE; offset and length must be 0. Returns 0 with
 * BASS_ERROR_FILEOPEN (missing or unreadable) or BASS_ERROR_FORMAT (no
 * decoder takes it). */
HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);

/* Opens a tracker module (MOD, S3M, XM, IT...) as a decoding channel.
 * Same contract as BASS_StreamCreateFile; freq is the rate it renders at,
 * 0 meaning the output rate. */
HMUSIC BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags,
                      DWORD freq);

/* Wraps a decoding channel in a playable tempo/pitch channel. With
 * BASS_FX_FREESOURCE the new channel owns the source (freeing it frees the
 * source); with BASS_SAMPLE_LOOP it repeats from the start at the end,
 * seamlessly. Starts at tempo 0 %, pitch 0, volume 1, the default stretcher
 * (BASS_Lentaro_SetDefaultStretcher), stopped. Returns 0
 * with BASS_ERROR_HANDLE, BASS_ERROR_ILLTYPE (chan is a tempo channel),
 * BASS_ERROR_ALREADY (chan is wrapped already) or BASS_ERROR_MEM (256
 * tempo channels exist; freeing one makes room, and chan stays usable),
 * or BASS_ERROR_NOTAVAIL (a stretcher library, Rubber Band or SoundTouch,
 * is not installed). */
HSTREAM BASS_FX_TempoCreate(DWORD chan, DWORD flags);

/* Frees a stream (and its owned source, and its encoders). Returns at once:
 * an encoder gets the rest of its input and the end of it on a thread of
 * the engine, and is killed if it has not exited five seconds later;
 * BASS_Encode_GetStatus tells when it has ended. Harmless on 0 or a dead
 * handle (returns FALSE, BASS_ERROR_HANDLE). */
BOOL BASS_StreamFree(HSTREAM handle);
BOOL BASS_MusicFree(HMUSIC handle);

/* restart FALSE continues where the channel stands (from the start once it
 * has played to its end, unless it was moved since); TRUE starts over. */
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL BASS_ChannelPause(DWORD handle);
/* Ends play; the channel stays and can be played again. */
BOOL BASS_ChannelStop(DWORD handle);

/* BASS_ACTIVE_*; BASS_ACTIVE_STOPPED for 0 or a dead handle. */
DWORD BASS_ChannelIsActive(DWORD handle);

/* Takes effect at once, in any state. Volume is clamped to 0..1, tempo to
 * -95..+5000 percent, pitch to -60..+60 semitones; NaN and infinities are
 * refused (FALSE, BASS_ERROR_ILLPARAM), and so is a stretcher that is not
 * one of BASS_LENTARO_STRETCHER_*. A change of tempo, pitch or stretcher
 * while playing is spliced into the sound heard (10 ms, matched in phase:
 * no click, no dip); changes following each other within 50 ms of output
 * (a slider dragged) are applied 50 ms apart, the latest one last. */
BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);
BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value);

/* mode must be BASS_POS_BYTE. The position is the place of the file that is
 * audible now (latency of the stretcher and of the output accounted for).
 * Returns (QWORD)-1 on failure. */
QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode);
QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);
/* Sample-exact seek; what was buffered before is never heard. With a loop
 * range set (BASS_Lentaro_ChannelSetLoop), a place outside it goes to the
 * range's start, and the range stays. */
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos);

/* ---- Practice loops (Lentaro) ----------------------------------------- */

/* Repeats [start, end) of a tempo channel, whatever BASS_SAMPLE_LOOP said.
 * Byte positions as BASS_ChannelGetPosition counts them, rounded down to
 * whole frames. start 0 and end 0 clear the range: the channel plays its
 * whole file again, looping or not as it was created.
 *
 * Each pass plays every frame of the range once. The seam between passes
 * is a 5 ms equal-power crossfade of the range's last frames with the
 * frames of the file that lead up to `start` (for a range at the very
 * start of the file, with those of the next pass's first frames and what
 * follows `end`), so it neither clicks, nor gaps, nor repeats anything; it
 * holds at any tempo and pitch. A range that is the whole file joins
 * without a fade.
 *
 * Takes effect at once, in any state: when the audible place is outside
 * the new range, play goes to its start; when inside, play goes on and
 * wraps at the new end. While a range is set BASS_ChannelGetPosition stays
 * inside it; BASS_ChannelSetPosition inside it goes there, and outside it
 * goes to its start (the range stays set); BASS_ChannelPlay with restart
 * goes to its start too. Starts the count of passes again.
 *
 * Returns FALSE with BASS_ERROR_HANDLE, BASS_ERROR_NOTAVAIL (a decoding
 * channel), BASS_ERROR_POSITION (end past the file) or BASS_ERROR_ILLPARAM
 * (a range shorter than 10 ms, start after end). */
BOOL BASS_Lentaro_ChannelSetLoop(DWORD handle, QWORD start, QWORD end);

/* The range last set, in bytes (both 0 when none). */
BOOL BASS_Lentaro_ChannelGetLoop(DWORD handle, QWORD* start, QWORD* end);

/* Passes heard to their end since the range was last set (or since the
 * channel was made: its own whole-file loop counts too). For a status bar
 * to poll. (DWORD)-1 on failure. */
DWORD BASS_Lentaro_ChannelGetLoopPass(DWORD handle);

/* The speed trainer of a looping channel. Tempos in percent, like
 * BASS_ATTRIB_TEMPO. */
typedef struct BASS_LENTARO_TRAINER {
  float startTempo;    /* where it starts, and the floor of a back-off */
  float step;          /* the rise of each step, > 0 */
  DWORD passesPerStep; /* passes completed at a tempo before it rises, >= 1 */
  float targetTempo;   /* never passed, >= startTempo */
} BASS_LENTARO_TRAINER;

/* Switches the trainer on (the tempo goes to startTempo at once) or, with
 * trainer NULL, off (the tempo stays where it is). After every
 * passesPerStep passes completed at one tempo it rises by step, but not
 * past targetTempo, exactly at the seam: the next pass plays at the new
 * tempo from its first frame. BASS_ChannelGetAttribute(BASS_ATTRIB_TEMPO)
 * reports the trainer's tempo (once a step is made, a few milliseconds
 * before it is heard) and BASS_Lentaro_ChannelGetTempoChanges counts its
 * changes, so that a tempo control can follow it. A tempo set by hand
 * (BASS_ATTRIB_TEMPO) while it runs becomes its current step: heard at
 * once, its passes counted afresh, the steps going on from there (a hand
 * tempo at or above the target is not raised). Tempos are clamped as
 * BASS_ATTRIB_TEMPO is. FALSE with BASS_ERROR_ILLPARAM for a step not
 * above 0, no passes per step, a target below the start or a value that is
 * not finite. */
BOOL BASS_Lentaro_ChannelSetTrainer(DWORD handle, const BASS_LENTARO_TRAINER* trainer);

/* The trainer one step down, at once, not below its start tempo; the
 * passes at the new tempo are counted afresh. FALSE with
 * BASS_ERROR_NOTAVAIL when the trainer is off. */
BOOL BASS_Lentaro_ChannelTrainerBackOff(DWORD handle);

/* How many times the trainer has changed the tempo: its start, its steps
 * and its back-offs (tempos set by hand do not count). (DWORD)-1 on
 * failure. */
DWORD BASS_Lentaro_ChannelGetTempoChanges(DWORD handle);

typedef struct BASS_LENTARO_COUNTIN {
  DWORD clicks;       /* clicks before each pass, at most 16; 0: none */
  float beatsPerLoop; /* the beat is the loop's length divided by this... */
  float bpm;          /* ...unless this is > 0: beats a minute at tempo 0 % */
  BOOL record;        /* the clicks also go to the channel's encoders */
} BASS_LENTARO_COUNTIN;

/* A count-in before each pass of a looping channel: at the seam the music
 * fades out (5 ms) and waits while `clicks` clicks sound a beat apart
 * (1 kHz, 15 ms, the first one louder); the pass starts at the loop's
 * start one beat after the last click. The beat is in the file's time, so
 * at tempo t it lasts beat / (1 + t/100), at the tempo of the pass that
 * follows (after a trainer's step). Play that starts at the loop's start
 * (BASS_ChannelPlay with restart, a seek or a new range that goes there)
 * counts in first too, and so does a channel that is not playing and
 * stands at its loop's start when the count-in is set. During a count-in
 * BASS_ChannelGetPosition stays at the loop's start. The clicks go to the
 * output, and to the channel's encoders only with `record`. countIn NULL
 * or clicks 0: none. FALSE with BASS_ERROR_ILLPARAM for more than 16
 * clicks, or a beat (beatsPerLoop, or bpm when set) that is not above 0 or
 * not finite. */
BOOL BASS_Lentaro_ChannelSetCountIn(DWORD handle, const BASS_LENTARO_COUNTIN* countIn);

/* ---- Stretcher (Lentaro) ---------------------------------------------- */

/* The stretcher (BASS_LENTARO_STRETCHER_*) of tempo channels made from now
 * on, of every channel that has not been given its own with
 * BASS_ATTRIB_LENTARO_STRETCHER (at once, as that attribute would), and of
 * offline renders (lentaro/bass_offline.h). BASS_LENTARO_STRETCHER_HIGH
 * until set; it holds for the process, across BASS_Init and BASS_Free.
 * FALSE with BASS_ERROR_ILLPARAM for another value. */
BOOL BASS_Lentaro_SetDefaultStretcher(DWORD stretcher);
DWORD BASS_Lentaro_GetDefaultStretcher(void);

/* ---- Encoder ---------------------------------------------------------- */

/* Starts cmdline as a process and feeds it what the channel plays (after
 * tempo, pitch and volume) as a WAV stream with header on its standard
 * input: 16-bit PCM at the output rate, stereo. The command line is split
 * into words at spaces; a pair of double quotes groups a word and is
 * removed; no shell is involved. The encoder ends when its channel is freed
 * or at BASS_Free (see there), whatever the flags. An encoder that exits or
 * stops reading early never stops the channel, nor the program (no
 * SIGPIPE). At most 4 encoders per channel. proc must be null. Returns 0
 * with BASS_ERROR_HANDLE, BASS_ERROR_CREATE (the program cannot be
 * started), BASS_ERROR_ILLPARAM or BASS_ERROR_ALREADY (4 on it already). */
HENCODE BASS_Encode_Start(DWORD handle, const char* cmdline, DWORD flags, void* proc, void* user);

/* Lentaro: as BASS_Encode_Start, with the program and its arguments given
 * as a null-terminated argument vector (argv[0] is the program's path), so
 * that no quoting is ever needed. */
HENCODE BASS_Encode_StartArgv(DWORD handle, const char* const* argv, DWORD flags, void* proc,
                              void* user);

/* Lentaro: what became of an encoder. Stays readable after the encoder and
 * its channel are gone, also after BASS_Free, for as long as the program
 * runs. */
typedef struct BASS_ENCODE_STATUS {
  BOOL running;       /* the process has not ended yet */
  BOOL failed;        /* it ended with a non-zero status or a signal, or
                         stopped taking input before its channel ended */
  int exitStatus;     /* exit code once ended, -1 while running or killed */
  int termSignal;     /* the signal that ended it, 0 otherwise */
  QWORD bytesWritten; /* bytes of WAV written to its input */
  QWORD bytesDropped; /* bytes lost because the feed ring overflowed or the
                         encoder stopped taking them */
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
