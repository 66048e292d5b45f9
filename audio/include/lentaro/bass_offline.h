/*
 * Lentaro audio engine: offline work on files, apart from the playing
 * engine.
 *
 * Rendering a file with a tempo, a pitch and a volume (for an export),
 * the peaks of a file for a waveform overview, and an encoder program fed
 * at the caller's own pace. None of these touches the engine's channels or
 * its output, and none needs BASS_Init: they may run on any thread, at any
 * time, also while the engine plays, and they never change what it plays.
 * Each call waits for what it does (decoding, the disk, the encoder), so
 * the application makes them from a worker thread, never from its
 * user-interface thread.
 *
 * Errors: as in bass.h. A call that fails returns 0 (or FALSE, or -1 where
 * it says so) and leaves a code from BassErrorCode for BASS_ErrorGetCode
 * on the calling thread; a call that succeeds sets BASS_OK. No C++
 * exception leaves this interface.
 *
 * Handles (renders and encoders) are 32-bit, never 0 for a live object and
 * never reused while the process runs; they are counted apart from the
 * engine's handles. Every call on 0 or on a closed handle is harmless and
 * sets BASS_ERROR_HANDLE. Calls on one handle may come from any thread,
 * one at a time; calls on different handles may run at once.
 */
#ifndef LENTARO_BASS_OFFLINE_H
#define LENTARO_BASS_OFFLINE_H

#include "lentaro/bass.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Rendering -------------------------------------------------------- */

/* Opens the file at path (UTF-8) for rendering exactly the sound that a
 * tempo channel over it plays with these settings from startByte: tempo in
 * percent, pitch in semitones and volume clamped and refused as
 * BASS_ChannelSetAttribute does, the stretcher a new channel gets (see
 * BASS_Lentaro_SetDefaultStretcher), 44100 Hz stereo 16-bit. Without a
 * range (startByte and endByte both 0) the whole file, as a channel
 * without BASS_SAMPLE_LOOP plays it from the start to its end; with one,
 * the frames [startByte, endByte) once, as such a channel plays them after
 * a seek to startByte when its file ends at endByte. Byte positions count
 * as BASS_ChannelGetPosition counts them (16-bit samples, the file's own
 * channels and rate), rounded down to whole frames. Files open as
 * BASS_StreamCreateFile opens them, or else as BASS_MusicLoad does
 * (rendered at 44100 Hz).
 *
 * Returns 0 with BASS_ERROR_ILLPARAM (a null path, a value that is not
 * finite, startByte not before endByte), BASS_ERROR_FILEOPEN,
 * BASS_ERROR_FORMAT or BASS_ERROR_POSITION (endByte past the file). */
DWORD BASS_Lentaro_RenderOpen(const char* path, float tempoPercent, float pitchSemitones,
                              float volume, QWORD startByte, QWORD endByte);

/* Up to `frames` frames (interleaved 16-bit stereo) into out. Returns the
 * frames written (fewer than asked only at the end), 0 once the sound has
 * ended, -1 on failure. */
int BASS_Lentaro_RenderRead(DWORD handle, int16_t* out, int frames);

/* How far the render is: frames of the file (or of the range) consumed so
 * far and in all, for a progress display; any thread, also while another
 * thread reads. The stretcher reads a little ahead of what has come out. */
BOOL BASS_Lentaro_RenderProgress(DWORD handle, QWORD* sourceFramesDone, QWORD* sourceFramesTotal);

/* The render's expected length in output frames: the file's (or range's)
 * length at the output rate divided by the speed factor 1 + tempo/100.
 * What comes out may differ by a few milliseconds. (QWORD)-1 on failure. */
QWORD BASS_Lentaro_RenderLength(DWORD handle);

/* Frees the render. A read running on another thread finishes first. */
BOOL BASS_Lentaro_RenderClose(DWORD handle);

/* ---- Waveform peaks --------------------------------------------------- */

/* Called as columns are filled: columnsDone columns of mins and maxs hold
 * their final values. On the calling thread of BASS_Lentaro_ComputePeaks. */
typedef void (*LENTARO_PEAKSPROC)(int columnsDone, void* user);

/* Decodes the file at path (UTF-8; as BASS_Lentaro_RenderOpen opens it) at
 * full speed, without stretching, and splits it into `columns` equal runs
 * of frames: mins[i] and maxs[i] receive the lowest and the highest sample
 * of run i over every channel (-1 .. 1; 0 and 0 for a run without frames,
 * in a file shorter than `columns` frames). Memory does not grow with the
 * file's length. *lengthSeconds (when not null) receives the file's length.
 *
 * While *cancel (when not null) is 0 it goes on; once it is set, it stops
 * within a few milliseconds. progress (when not null) is called with
 * user as columns are filled, in order.
 *
 * Returns the columns filled: `columns` when done, fewer when cancelled
 * (BASS_OK); -1 with BASS_ERROR_ILLPARAM (a null path or array, columns
 * below 1), BASS_ERROR_FILEOPEN or BASS_ERROR_FORMAT. */
int BASS_Lentaro_ComputePeaks(const char* path, int columns, float* mins, float* maxs,
                              double* lengthSeconds, volatile int* cancel,
                              LENTARO_PEAKSPROC progress, void* user);

/* ---- Encoder fed at the caller's pace --------------------------------- */

/* Starts argv[0] with argv[1..] (a null-terminated vector, no shell; a
 * program name without "/" is searched in PATH) and makes it ready to
 * read, on its standard input, a WAV stream of 16-bit stereo at 44100 Hz
 * with length fields that make it read to the end of its input (as
 * BASS_Encode_StartArgv feeds it). Its output and errors go to /dev/null.
 * Returns 0 with BASS_ERROR_ILLPARAM (argv null or empty) or
 * BASS_ERROR_CREATE (the program cannot be started). */
DWORD BASS_Lentaro_EncoderOpen(const char* const* argv);

/* Writes `frames` frames (interleaved 16-bit stereo) to the encoder, the
 * WAV header before the first ones, waiting while its input is full. A
 * write to an encoder that has stopped reading fails (it never raises
 * SIGPIPE), and so does one that waits more than ten seconds for an
 * encoder that takes nothing: FALSE with BASS_ERROR_CREATE (and the
 * encoder's end can be read with BASS_Lentaro_EncoderClose). */
BOOL BASS_Lentaro_EncoderWrite(DWORD handle, const int16_t* frames, int count);

/* Ends the encoder and frees the handle. abandon FALSE: closes its input
 * (the WAV header first when nothing was written) and waits for it to
 * exit, at most timeoutMs milliseconds, then kills it; abandon TRUE: kills
 * it at once. status (when not null) receives how it ended: `failed` when
 * it exited with a non-zero status or a signal, stopped reading early or
 * was killed here. Returns FALSE (BASS_ERROR_HANDLE) only for a bad
 * handle. */
BOOL BASS_Lentaro_EncoderClose(DWORD handle, BOOL abandon, DWORD timeoutMs,
                               BASS_ENCODE_STATUS* status);

#ifdef __cplusplus
}
#endif

#endif /* LENTARO_BASS_OFFLINE_H */
