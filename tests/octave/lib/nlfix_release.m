function varargout = nlfix_release(varargin)
% Force function of the tests: releases every buffer of buffer_fixture (a
% host function that frees the memory an object shares) and returns
% nothing.
  buffer_fixture('free');
  varargout = {};
end
