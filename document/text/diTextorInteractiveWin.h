// The Windows side of text interaction: the text cursors come from the program's resources.
#pragma once

// Registers the eight text cursors, crTextorFieldBeam to crTextorDragCopy, from the cursor resources of the same
// names. Raises EOSError when one is missing from the program file.
void InitializeTextorCursors();
