function varargout = nlfix_nothing(varargin)
% Force function of the tests: returns no value at all.
  varargout = {};
end
