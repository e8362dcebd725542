// Tests of the mids reader come with the reader.
