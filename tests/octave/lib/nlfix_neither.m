function o = nlfix_neither(S, r, model, u, v, a, opt, arg)
% Force function of the tests: a structure holding neither "snl" nor "unl".
  o = struct('force', S.k .* S.unl(:));
end
