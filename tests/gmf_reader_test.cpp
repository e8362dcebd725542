// Tests of the gmf reader come with the reader.
