// The page's synthesiser and player (being written).
'use strict';
