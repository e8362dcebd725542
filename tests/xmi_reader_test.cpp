// Tests of the xmi reader come with the reader.
