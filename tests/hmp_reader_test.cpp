// Tests of the hmp reader come with the reader.
