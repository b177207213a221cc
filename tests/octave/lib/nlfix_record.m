function varargout = nlfix_record(varargin)
% Force function of the tests: remembers its inputs in NLFIX_CALLS and
% returns nothing.
  global NLFIX_CALLS
  NLFIX_CALLS{end + 1} = varargin;
  varargout = {};
end
