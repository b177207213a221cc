function o = nlfix_raise(S, varargin)
% Force function of the tests: fails with an identifier of its own.
  error('nlfix:failed', 'the force of entry "%s" cannot be computed', S.name);
end
